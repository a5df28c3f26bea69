// 获取 and the poll: every tick cuts the code posted between "====" markers
// out of the announcement page and sets the status from it.
#include "app/shell.h"
#include "retrieval/handlers.h"
#include "retrieval/page_urls.h"
#include "retrieval_texts.h"
#include "web/fetch_page.h"

namespace cdk {

namespace {
constexpr int32_t kPollPeriodMs = 5000;
} // namespace

void HandleGetClick() { SetTimerPeriod(Control::时钟1, kPollPeriodMs); }

void HandlePollTick() {
  // Ticks falling due during the fetch run nested inside it; this tick
  // writes the boxes after them, so the first-started tick's result stays.
  Text page = ToText(FetchPage(AnnouncementPageUrl));
  Text code = TextBetween(page, kCodeMarker, kCodeMarker);
  SetEditText(Control::编辑框1, code);
  // The status follows what the box holds, not the local value.
  bool no_code = TextEqual(EditText(Control::编辑框1), kNoCodePosted);
  SetEditText(Control::编辑框4, no_code ? kStatusNoCode : kStatusRedeem);
}

} // namespace cdk
