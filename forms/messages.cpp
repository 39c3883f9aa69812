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
Asker& currentAsker()
{
    static Asker asker;
    return asker;
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

int question(const QString& title, const QString& text, const QStringList& buttons)
{
    if (const Answerer& answerer = currentAnswerer())
        return answerer(title, text, buttons);
    if (const Handler& handler = currentHandler()) {
        handler(title, text);
        return int(buttons.size()) - 1;
    }
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

Answerer setAnswerer(Answerer answerer)
{
    Answerer previous = std::move(currentAnswerer());
    currentAnswerer() = std::move(answerer);
    return previous;
}

} // namespace messages
