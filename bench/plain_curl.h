// The benchmarks' yardstick: one page through libcurl's easy interface on a
// fresh handle, and nothing else.
#pragma once

#include <curl/curl.h>

#include <string>

inline size_t PlainCurlAppend(char *data, size_t size, size_t count,
                              void *page) {
  static_cast<std::string *>(page)->append(data, size * count);
  return size * count;
}

inline std::string PlainCurlFetch(const std::string &url) {
  std::string page;
  CURL *curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, PlainCurlAppend);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &page);
  curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  return page;
}
