#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Every message box of the program goes through here, so that a mode without
// windows can print the messages and tests can see and answer them.
namespace messages {

using Handler = std::function<void(const QString& title, const QString& text)>;

// Shows an information box with no parent, the given title and text and the
// single OK button, modally, on the calling (GUI) thread. With a handler
// installed, hands title and text to the handler instead.
void information(const QString& title, const QString& text);

// Installs `handler` (an empty one restores the message box) and returns the
// one it replaces.
Handler setHandler(Handler handler);

using Answerer =
    std::function<int(const QString& title, const QString& text, const QStringList& buttons)>;

// Asks a question in a box with no parent and one button for each of
// `buttons` (the first is the default, the last also answers Escape), modally,
// on the GUI thread. Returns the index of the button pressed. With an answerer
// installed, it answers instead.
int question(const QString& title, const QString& text, const QStringList& buttons);

// Installs `answerer` (an empty one restores the box) and returns the one it
// replaces.
Answerer setAnswerer(Answerer answerer);

} // namespace messages
