#include "forms/linklabel.h"

#include <QAccessibleWidget>
#include <QDesktopServices>
#include <QFocusEvent>
#include <QTextBlock>
#include <QTextDocument>

namespace {

class LinkAccessible : public QAccessibleWidget
{
public:
    explicit LinkAccessible(LinkLabel* label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override
    {
        auto* label = static_cast<LinkLabel*>(widget());
        if (t == QAccessible::Name && label->accessibleName().isEmpty()) {
            QTextDocument doc;
            doc.setHtml(label->text());
            return doc.toPlainText();
        }
        if (t == QAccessible::Value)
            return label->link().toString();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override
    {
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override
    {
        if (action == pressAction())
            QDesktopServices::openUrl(static_cast<LinkLabel*>(widget())->link());
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface* linkFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("LinkLabel") && object && object->isWidgetType())
        return new LinkAccessible(static_cast<LinkLabel*>(object));
    return nullptr;
}

} // namespace

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(linkFactory);
        return true;
    }();
    Q_UNUSED(installed);
    setTextFormat(Qt::RichText);
    setOpenExternalLinks(true);
    setTextInteractionFlags(Qt::TextBrowserInteraction);
}

void LinkLabel::focusInEvent(QFocusEvent* event)
{
    QLabel::focusInEvent(event);
    // Reached by key: the link itself has the focus, so that Enter opens it.
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason)
        focusNextPrevChild(event->reason() == Qt::TabFocusReason);
}

QUrl LinkLabel::link() const
{
    QTextDocument doc;
    doc.setHtml(text());
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QString href = it.fragment().charFormat().anchorHref();
            if (!href.isEmpty())
                return QUrl(href);
        }
    }
    return QUrl();
}
