#include "forms/messages.h"

#include <QMessageBox>

namespace messages {

namespace {
Handler& currentHandler()
{
    static Handler handler;
    return handler;
}
Asker& currentAsker()
{
    static Asker asker;
    return asker;
}
} // namespace

void information(const QString& title, const QString& text)
{
    if (const Handler& handler = currentHandler()) {
        handler(title, text);
        return;
    }
    QMessageBox::information(nullptr, title, text, QMessageBox::Ok);
}

bool question(const QString& title, const QString& text)
{
    if (const Asker& asker = currentAsker())
        return asker(title, text);
    if (const Handler& handler = currentHandler()) {
        handler(title, text);
        return false;
    }
    return QMessageBox::question(nullptr, title, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

Handler setHandler(Handler handler)
{
    Handler previous = std::move(currentHandler());
    currentHandler() = std::move(handler);
    return previous;
}

Asker setAsker(Asker asker)
{
    Asker previous = std::move(currentAsker());
    currentAsker() = std::move(asker);
    return previous;
}

} // namespace messages
