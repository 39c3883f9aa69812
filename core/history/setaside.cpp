#include "core/history/setaside.h"

#include <QCoreApplication>
#include <QFile>

namespace history {

QString setAside(const QString& path)
{
    QString aside = path + QLatin1String(".damaged");
    for (int n = 2; QFile::exists(aside); ++n)
        aside = path + QLatin1String(".damaged-") + QString::number(n);
    return QFile::rename(path, aside) ? aside : QString();
}

QString setAsideMessage(const QString& what, const QString& path, const QString& why,
                        const QString& asidePath)
{
    if (asidePath.isEmpty())
        return QCoreApplication::translate("history", "%1 %2 cannot be read (%3), nor moved "
                                                      "aside; it is left as it is.")
            .arg(what, path, why);
    return QCoreApplication::translate("history", "%1 %2 cannot be read (%3). It was kept as %4; "
                                                  "the program starts afresh without it.")
        .arg(what, path, why, asidePath);
}

} // namespace history
