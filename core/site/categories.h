#pragma once

#include <QByteArray>
#include <QString>

class QStandardItem;

// The gallery's category tree, scraped out of the gallery administration page.
namespace categories {

// The deepest level of the tree that is built (top-level rows are level 1).
// A page may nest cells without end; rows below this level hang, as
// siblings, under the deepest parent allowed.
constexpr int MaxDepth = 64;

// Empties `root` and fills it with one row per category cell of `page`: the
// name in column 0 (entities decoded, markup dropped, the raw HTML kept in
// Qt::UserRole), the id as decimal text in column 1; a cell indented deeper
// than the one before becomes a child of the row just above it (down to
// MaxDepth). Only the part
// of `page` before its first zero byte is read, as Latin-1. Cells with an empty
// name are skipped. Returns the number of rows added at all levels.
int fillTree(QStandardItem* root, const QByteArray& page);

// The text a user reads for the HTML of a category name.
QString displayName(const QString& html);

} // namespace categories
