#pragma once

#include <QString>
#include <QStringList>

// The program without a window: uploads pictures or lists the site's
// categories from the command line, through the same worker as the window.
namespace headless {

// True when the arguments ask for the mode without a window (an upload, the
// category list, help or version).
bool wanted(const QStringList& arguments);

// Runs the command given by `arguments` (the program name first) and returns
// the exit status: 0 when everything arrived, 1 when some pictures failed,
// 2 for usage errors and a refused or failed login.
int run(const QStringList& arguments);

// Prints `message` as a usage error, with where to find help, to standard
// error and returns the exit status of a usage error (2).
int usageError(const QString& message);

} // namespace headless
