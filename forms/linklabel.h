#pragma once

#include <QLabel>
#include <QUrl>

// A label that is one link (into the user's site): reached with Tab, opened
// with Enter or a click in the system's browser, and told to screen readers
// as a link with the label's visible text as its name.
class LinkLabel : public QLabel
{
    Q_OBJECT

public:
    explicit LinkLabel(QWidget* parent = nullptr);

    // The address the label's link leads to.
    QUrl link() const;

protected:
    void focusInEvent(QFocusEvent* event) override;
};
