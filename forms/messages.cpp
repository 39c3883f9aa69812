#include "forms/messages.h"

#include <QMessageBox>
#include <QPushButton>

namespace messages {

namespace {
Handler& currentHandler()
{
    static Handler handler;
    return handler;
}
Answerer& currentAnswerer()
{
    static Answerer answerer;
    return answerer;
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

int question(const QString& title, const QString& text, const QStringList& buttons)
{
    if (const Answerer& answerer = currentAnswerer())
        return answerer(title, text, buttons);
    QMessageBox box(QMessageBox::Question, title, text);
    QList<QPushButton*> pressable;
    for (const QString& button : buttons)
        pressable << box.addButton(button, pressable.size() + 1 == buttons.size()
                                               ? QMessageBox::RejectRole
                                               : QMessageBox::AcceptRole);
    if (pressable.isEmpty())
        return -1;
    box.setDefaultButton(pressable.first());
    box.setEscapeButton(pressable.last());
    box.exec();
    return int(pressable.indexOf(box.clickedButton()));
}

Answerer setAnswerer(Answerer answerer)
{
    Answerer previous = std::move(currentAnswerer());
    currentAnswerer() = std::move(answerer);
    return previous;
}

} // namespace messages
