#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Every message box of the program goes through here, so that a mode without
// windows can print the messages and tests can see and answer them.
namespace messages {

using Handler = std::function<void(const QString& title, const QString& text)>;
using Asker = std::function<bool(const QString& title, const QString& text)>;
using Answerer =
    std::function<int(const QString& title, const QString& text, const QStringList& buttons)>;

// Shows an information box with no parent, the given title and text and the
// single OK button, modally, on the calling (GUI) thread. With a handler
// installed, hands title and text to the handler instead.
void information(const QString& title, const QString& text);

// Asks a question with Yes and No (the default); true for Yes. With an asker
// installed, the asker answers; else, with a handler installed, the handler
// sees it and the answer is No.
bool question(const QString& title, const QString& text);

// Asks a question in a box with no parent and one button for each of
// `buttons` (the first is the default, the last also answers Escape), modally,
// on the GUI thread. Returns the index of the button pressed. With an
// answerer installed, it answers instead; else, with a handler installed, the
// handler sees it and the answer is the last button.
int question(const QString& title, const QString& text, const QStringList& buttons);

// Install `handler`, `asker` or `answerer` (an empty one restores the box)
// and return the one replaced.
Handler setHandler(Handler handler);
Asker setAsker(Asker asker);
Answerer setAnswerer(Answerer answerer);

} // namespace messages
