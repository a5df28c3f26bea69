// At start, before the window is shown: compare the version posted between
// "==" markers with our own and send the user to 更新 when they differ.
#include "app/shell.h"
#include "retrieval/handlers.h"
#include "retrieval/page_urls.h"
#include "retrieval_texts.h"
#include "web/fetch_page.h"

namespace cdk {

void HandleWindowCreated() {
  Text page = ToText(FetchPage(AnnouncementPageUrl));
  SetEditText(Control::编辑框3, TextBetween(page, kVersionMarker, kVersionMarker));
  float posted = ToFloat(EditText(Control::编辑框3));
  float own = ToFloat(EditText(Control::编辑框2));
  // Exact on the single-precision values; a NaN orders with nothing and so
  // counts as equal.
  if (posted < own || posted > own) {
    ShowMessage(kNewVersionMessage);
    SetButtonDisabled(Control::按钮1, true);
  }
}

} // namespace cdk
