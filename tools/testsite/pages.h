#pragma once

#include "site.h"

#include <QList>
#include <QMap>
#include <QString>

// The HTML pages of the gallery site, as text; the site sends them as Latin-1.
namespace testsite::pages {

// `text` with &, <, > and " escaped; numeric character references such as
// "&#9749;" are kept so that the browser shows the character.
QString escapeHtml(const QString& text);

// The indentation in front of a category name: "&nbsp;&nbsp;" per level.
QString indent(int depth);

// One row of the gallery administration table.
QString categoryRow(const Category& category, int pictureCount);

QString loginPage(const QString& message);
QString adminMenu(const QString& user);
// `withCategories` false gives the page of a gallery without any category.
QString galleryAdmin(const QList<Category>& categories, const QMap<int, int>& counts,
                     bool withCategories);
QString categoryAdmin(const Category* category, int id, const QList<Picture>& pictures);
QString uploadDone(int id, const QString& storedName);
QString uploadFailed(int id, const QString& reason);
QString publicIndex(const QList<Category>& categories, const QMap<int, int>& counts);
QString publicCategory(const Category* category, int id, const QList<Picture>& pictures);
QString notFound();
QString refused();
QString redirected();

} // namespace testsite::pages
