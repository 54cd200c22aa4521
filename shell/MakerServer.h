// The maker's web server: the banner page, the banner-click page, the update
// text and the product page. Its host is a build setting (the CMake cache
// variable TESSOR_SERVER); the environment variable TESSOR_SERVER, when set,
// decides instead, so tests and mirrors can point Tessor at their own
// server, and an empty value means no server at all. Without a server no
// request leaves the machine.
#pragma once

#include <QString>

namespace tessor::shell {

inline constexpr char kBannerPath[] = "/tessoradv.php";
inline constexpr char kBannerClickPath[] = "/tessoradvl.php?id=1";
inline constexpr char kUpdateTextPath[] = "/tessor.txt";
inline constexpr char kProductPagePath[] = "/tessor.php";

// "host" or "host:port"; empty when no server is configured or the
// configured value is not a plain host name or address with an optional
// port (a scheme, a path, user information or blanks are refused).
QString MakerServerHost();

// "http://host[:port]" followed by `pathAndQuery`; empty without a server.
QString MakerAddress(const char* pathAndQuery);

}  // namespace tessor::shell
