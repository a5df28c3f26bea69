// The header lines FetchPage sends, as the tests expect them on the wire.
// Written out here, apart from the code that builds them, so that a test
// does not check that code against itself.
#pragma once

namespace cdk::test {

inline constexpr char kAgent[] =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
inline constexpr char kAgentLine[] =
    "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n";
inline constexpr char kAccept[] =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, "
    "application/vnd.ms-powerpoint, application/msword, */*\r\n";
inline constexpr char kLanguage[] = "Accept-Language: zh-cn\r\n";
inline constexpr char kForm[] =
    "Content-Type: application/x-www-form-urlencoded\r\n";

} // namespace cdk::test
