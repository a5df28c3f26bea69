// Compiled into each copy of the program with its own two URLs.
#include "retrieval/page_urls.h"

namespace cdk {

const char AnnouncementPageUrl[] = CDK_ANNOUNCEMENT_PAGE_URL;
const char UpdatePageUrl[] = CDK_UPDATE_PAGE_URL;

} // namespace cdk
