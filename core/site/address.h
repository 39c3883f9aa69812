#pragma once

#include <QString>

// The site's base address as the user gives it: typed, pasted from a
// browser's address bar, or named on the command line.
namespace siteaddress {

// The base address in `typed`: surrounding blanks, a query ("?...") and a
// fragment ("#..."), a trailing "/admin.php" or "/index.php" and trailing
// "/" are taken off; everything else stays as typed. An address without a
// scheme stays without one (it means http).
QString clean(const QString& typed);

// True when `address` names an http or https site with a host (no scheme
// counts as http), so that a login may be tried with it.
bool usable(const QString& address);

// What a base address looks like, for messages.
inline constexpr QLatin1StringView example{"http://www.example.com/orva"};

} // namespace siteaddress
