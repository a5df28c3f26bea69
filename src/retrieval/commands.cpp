// 复制 and 更新: neither shows anything of its own nor reports a failure.
#include "app/shell.h"
#include "retrieval/handlers.h"
#include "retrieval/page_urls.h"

namespace cdk {

void HandleCopyClick() { SetClipboardText(EditText(Control::编辑框1)); }

void HandleUpdateClick() { OpenUrl(UpdatePageUrl); }

} // namespace cdk
