#include "forms/messages.h"

#include <QMessageBox>

namespace messages {

namespace {
Handler& currentHandler()
{
    static Handler handler;
    return handler;
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

Handler setHandler(Handler handler)
{
    Handler previous = std::move(currentHandler());
    currentHandler() = std::move(handler);
    return previous;
}

} // namespace messages
