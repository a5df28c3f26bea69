// A stand-in for libcurl.so.4 that lacks what the backend binds: built once
// exporting nothing, as if the library had none of it, and once exporting
// everything but curl_multi_poll, as a libcurl older than 7.66 would. The
// functions are never called: binding fails first.
#ifdef CDK_STAND_IN_ALL_BUT_MULTI_POLL
extern "C" {
void curl_global_init() {}
void curl_global_cleanup() {}
void curl_easy_init() {}
void curl_easy_setopt() {}
void curl_easy_getinfo() {}
void curl_easy_cleanup() {}
void curl_multi_init() {}
void curl_multi_add_handle() {}
void curl_multi_remove_handle() {}
void curl_multi_perform() {}
void curl_multi_info_read() {}
void curl_multi_cleanup() {}
void curl_slist_append() {}
void curl_slist_free_all() {}
void curl_url() {}
void curl_url_set() {}
void curl_url_get() {}
void curl_url_cleanup() {}
void curl_free() {}
}
#endif
