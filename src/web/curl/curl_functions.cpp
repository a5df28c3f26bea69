#include "curl_functions.h"

#include <dlfcn.h>

#include <mutex>
#include <system_error>
#include <thread>
#include <type_traits>

#include "text/fatal.h"
#include "text/text.h"
#include "web/http_library.h"

namespace cdk {

namespace {

// The soname, stable since libcurl 7.16.
constexpr char kLibraryFile[] = "libcurl.so.4";

// Fills every slot it can; returns the name of the first function not
// found, or null when all are there.
const char *Bind(void *library, CurlFunctions &f) {
  const char *missing = nullptr;
  auto bind = [&](auto &slot, const char *name) {
    void *address = library != nullptr ? dlsym(library, name) : nullptr;
    if (address == nullptr) {
      missing = missing != nullptr ? missing : name;
      return;
    }
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(address);
  };
  // In the order of first use: a library that is not there at all shows as
  // its initialisation missing.
  bind(f.global_init, "curl_global_init");
  bind(f.global_cleanup, "curl_global_cleanup");
  bind(f.easy_init, "curl_easy_init");
  bind(f.easy_setopt, "curl_easy_setopt");
  bind(f.easy_getinfo, "curl_easy_getinfo");
  bind(f.easy_cleanup, "curl_easy_cleanup");
  bind(f.multi_init, "curl_multi_init");
  bind(f.multi_add_handle, "curl_multi_add_handle");
  bind(f.multi_remove_handle, "curl_multi_remove_handle");
  bind(f.multi_perform, "curl_multi_perform");
  bind(f.multi_poll, "curl_multi_poll");
  bind(f.multi_info_read, "curl_multi_info_read");
  bind(f.multi_cleanup, "curl_multi_cleanup");
  bind(f.slist_append, "curl_slist_append");
  bind(f.slist_free_all, "curl_slist_free_all");
  bind(f.url, "curl_url");
  bind(f.url_set, "curl_url_set");
  bind(f.url_get, "curl_url_get");
  bind(f.url_cleanup, "curl_url_cleanup");
  bind(f.free, "curl_free");
  return missing;
}

// The library stays loaded until the program ends; the thread is joined by
// the first use, or at exit when nothing was fetched.
class CurlLoader {
public:
  CurlLoader() {
    try {
      thread_ = std::thread(&CurlLoader::Load, this);
    } catch (const std::system_error &) {
      Load(); // no thread to spare: load now
    }
  }
  ~CurlLoader() {
    Join();
    if (missing_ == nullptr) {
      functions_.global_cleanup();
    }
  }
  CurlLoader(const CurlLoader &) = delete;
  CurlLoader &operator=(const CurlLoader &) = delete;

  const CurlFunctions &Functions() {
    Join();
    if (missing_ != nullptr) {
      FatalError(MissingExportMessage(kLibraryFile, missing_));
    }
    return functions_;
  }

private:
  void Load() {
    // Lazy: libcurl and the libraries it brings bind only the functions
    // that are called, a quarter less work than binding all of them at
    // once beside the window's building. Ours are looked up one by one.
    missing_ = Bind(dlopen(kLibraryFile, RTLD_LAZY | RTLD_LOCAL), functions_);
    if (missing_ == nullptr) {
      functions_.global_init(CURL_GLOBAL_DEFAULT);
    }
  }

  void Join() {
    std::call_once(joined_, [this] {
      if (thread_.joinable()) {
        thread_.join();
      }
    });
  }

  CurlFunctions functions_;
  const char *missing_ = nullptr;
  std::once_flag joined_;
  std::thread thread_;
};

CurlLoader &Loader() {
  static CurlLoader loader;
  return loader;
}

} // namespace

void StartLoadingCurl() { Loader(); }

const CurlFunctions &Curl() { return Loader().Functions(); }

} // namespace cdk
