#pragma once

#include <QString>

namespace history {

// Moves a file the program cannot use out of the way, never deleting it:
// renamed beside itself to "<name>.damaged", or "<name>.damaged-2" and so on
// when that is taken. Returns the new path, or an empty text when it could not
// be renamed.
QString setAside(const QString& path);

// The message for a file of ours that was set aside (or could not be).
QString setAsideMessage(const QString& what, const QString& path, const QString& why,
                        const QString& asidePath);

} // namespace history
