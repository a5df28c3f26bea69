// libcurl, bound at run time. The program is not linked against it: with
// its 27 dependent libraries (OpenSSL, GnuTLS, Kerberos, LDAP, ...) it would
// be loaded, and their constructors run, before main, holding up the
// window. Instead it loads on a thread of its own while the window is
// built, and the first fetch waits for that.
#pragma once

#include <curl/curl.h>

namespace cdk {

// Each pointer has the function's own type, taken from curl/curl.h.
struct CurlFunctions {
  decltype(&::curl_global_init) global_init = nullptr;
  decltype(&::curl_global_cleanup) global_cleanup = nullptr;
  decltype(&::curl_easy_init) easy_init = nullptr;
  decltype(&::curl_easy_setopt) easy_setopt = nullptr;
  decltype(&::curl_easy_getinfo) easy_getinfo = nullptr;
  decltype(&::curl_easy_cleanup) easy_cleanup = nullptr;
  decltype(&::curl_multi_init) multi_init = nullptr;
  decltype(&::curl_multi_add_handle) multi_add_handle = nullptr;
  decltype(&::curl_multi_remove_handle) multi_remove_handle = nullptr;
  decltype(&::curl_multi_perform) multi_perform = nullptr;
  decltype(&::curl_multi_poll) multi_poll = nullptr;
  decltype(&::curl_multi_info_read) multi_info_read = nullptr;
  decltype(&::curl_multi_cleanup) multi_cleanup = nullptr;
  decltype(&::curl_slist_append) slist_append = nullptr;
  decltype(&::curl_slist_free_all) slist_free_all = nullptr;
  decltype(&::curl_url) url = nullptr;
  decltype(&::curl_url_set) url_set = nullptr;
  decltype(&::curl_url_get) url_get = nullptr;
  decltype(&::curl_url_cleanup) url_cleanup = nullptr;
  decltype(&::curl_free) free = nullptr;
};

// Starts loading libcurl in the background, once; later calls do nothing.
void StartLoadingCurl();

// libcurl's functions, globally initialised; waits for the loading if it
// is still under way. A library or function that cannot be found is a
// fatal error, as for WinINet on Windows: the program cannot fetch
// anything without it.
const CurlFunctions &Curl();

} // namespace cdk
