// The five event handlers: the poll cycle, the version check, and the copy
// and update-page commands. They take no arguments and keep no state; what
// lasts between events lives in the window's controls.
#pragma once

namespace cdk {

void HandleWindowCreated(); // the version check
void HandleGetClick();      // 获取 starts the 5000 ms poll
void HandlePollTick();      // one poll of the announcement page
void HandleCopyClick();     // 复制: the code box to the clipboard
void HandleUpdateClick();   // 更新: the update page in the browser

} // namespace cdk
