#include "core/site/categories.h"

#include "core/site/sitetext.h"

#include <QList>
#include <QRegularExpression>
#include <QStandardItem>
#include <QTextDocumentFragment>

namespace categories {

QString displayName(const QString& html)
{
    if (!html.contains(QLatin1Char('&')) && !html.contains(QLatin1Char('<')))
        return html;
    return QTextDocumentFragment::fromHtml(html).toPlainText();
}

int fillTree(QStandardItem* root, const QByteArray& page)
{
    // Every quantifier is lazy: a name ends at the first "</a></td>" after its link.
    static const QRegularExpression cell(
        QStringLiteral("<td>([;nbsp& -]*)<a href=\".gallery-S([0-9]+)\">(.*)</a></td>"),
        QRegularExpression::InvertedGreedinessOption |
            QRegularExpression::DotMatchesEverythingOption);

    const QString text = sitetext::bodyText(page);
    root->removeRows(0, root->rowCount());

    QList<QStandardItem*> parents{root};
    QList<qsizetype> levels{0};
    int added = 0;
    for (auto it = cell.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const qsizetype depth = match.capturedLength(1);
        const QString id = match.captured(2);
        const QString name = match.captured(3);
        if (name.isEmpty())
            continue;

        if (depth > levels.last()) {
            QStandardItem* top = parents.last();
            if (top->rowCount() > 0 && parents.size() < MaxDepth) {
                parents.append(top->child(top->rowCount() - 1, 0));
                levels.append(depth);
            }
        } else {
            while (levels.size() > 1 && levels.last() > depth) {
                levels.removeLast();
                parents.removeLast();
            }
        }

        auto* nameItem = new QStandardItem(displayName(name));
        nameItem->setData(name, Qt::UserRole);
        parents.last()->appendRow({nameItem, new QStandardItem(id)});
        ++added;
    }
    return added;
}

} // namespace categories
