// The two fixed http URLs of the tool, compiled in from the build options
// ANNOUNCEMENT_PAGE_URL and UPDATE_PAGE_URL; nothing is read at run time.
#pragma once

namespace cdk {

extern const char AnnouncementPageUrl[];
extern const char UpdatePageUrl[];

} // namespace cdk
