#include "mainwindow/vemo.h"

#include "core/batch/uploadthread.h"
#include "core/history/listfile.h"
#include "core/history/sentjournal.h"
#include "core/pictures/imageprep.h"
#include "core/pictures/picturelist.h"
#include "core/settings.h"
#include "core/site/address.h"
#include "core/site/categories.h"
#include "forms/messages.h"
#include "mainwindow/batchresults.h"
#include "mainwindow/runnerview.h"

#include <QApplication>
#include <QClipboard>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHeaderView>
#include <QImageReader>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMimeData>
#include <QPixmap>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <functional>

namespace {

// The category tree as the window shows it: the names alone, each with its
// whole text as tool tip for when the column cuts it off. The id column stays
// in the model for the program, out of reach of keys and screen readers.
class CategoryNames : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    QVariant data(const QModelIndex& index, int role) const override
    {
        return QSortFilterProxyModel::data(index, role == Qt::ToolTipRole ? Qt::DisplayRole : role);
    }

protected:
    bool filterAcceptsColumn(int column, const QModelIndex&) const override { return column == 0; }
};

// The list's editors tell what is being typed, keystroke by keystroke, before
// it is committed (or abandoned with Escape).
class TypingDelegate : public QStyledItemDelegate
{
public:
    using Typed = std::function<void(const QModelIndex&, const QString&)>;
    TypingDelegate(Typed typed, QObject* parent)
        : QStyledItemDelegate(parent), typed(std::move(typed))
    {
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            const QPersistentModelIndex cell(index);
            connect(line, &QLineEdit::textEdited, line,
                    [this, cell](const QString& text) { typed(cell, text); });
        }
        return editor;
    }

private:
    Typed typed;
};

} // namespace

Vemo::Vemo(QWidget* parent) : QWidget(parent)
{
    setupUi(this);

    uploadthread = std::make_unique<uploadThread>();
    connect(this, &Vemo::setLoginData, uploadthread.get(), &uploadThread::setLoginData);
    connect(this, &Vemo::setCategory, uploadthread.get(), &uploadThread::setCategory);
    connect(this, &Vemo::setResize, uploadthread.get(), &uploadThread::setResize);
    connect(this, &Vemo::setResizeData, uploadthread.get(), &uploadThread::setResizeData);
    connect(this, &Vemo::setFilelistData, uploadthread.get(), &uploadThread::setFilelistData);
    connect(this, &Vemo::setJobOptions, uploadthread.get(), &uploadThread::setJobOptions);
    connect(this, &Vemo::startUpload, uploadthread.get(), &uploadThread::startUpload);
    connect(this, &Vemo::getCategories, uploadthread.get(), &uploadThread::getCategories);
    connect(uploadthread.get(), &uploadThread::updateCategories, this, &Vemo::updateCategories);
    runnerView = new RunnerView(uploadthread.get(), this);

    filelistmodel = new QStandardItemModel(0, picturelist::ColumnCount, this);
    filelistmodel->setHeaderData(picturelist::File, Qt::Horizontal, QObject::tr("file"),
                                 Qt::EditRole);
    filelistmodel->setHeaderData(picturelist::Comment, Qt::Horizontal, QObject::tr("Comment"),
                                 Qt::EditRole);
    filelistmodel->setHeaderData(picturelist::FullPath, Qt::Horizontal, QObject::tr("full path"),
                                 Qt::EditRole);
    filelistmodel->setHeaderData(picturelist::Image, Qt::Horizontal, QObject::tr("Image"),
                                 Qt::EditRole);
    filelistmodel->setHeaderData(picturelist::Result, Qt::Horizontal, tr("Result"), Qt::EditRole);
    filelist->setModel(filelistmodel);
    filelist->hideColumn(picturelist::Image);
    // Every row is one line high: a long list is laid out without measuring each row.
    filelist->setUniformRowHeights(true);
    // Name and comment share the width the window gives them.
    QHeaderView* columns = filelist->header();
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(picturelist::File, QHeaderView::Stretch);
    columns->setSectionResizeMode(picturelist::Comment, QHeaderView::Stretch);
    columns->setSectionResizeMode(picturelist::Result, QHeaderView::ResizeToContents);

    results = new BatchResults(filelistmodel, uploadthread.get(), this);
    butretry->hide();
    connect(results, &BatchResults::summaryChanged, this, [this](const QString& text, int unsent) {
        summary->setText(text);
        showRetry(unsent);
    });
    connect(butretry, &QPushButton::pressed, this, &Vemo::retryFailed);
    connect(butremovesent, &QPushButton::pressed, this, &Vemo::removeSent);
    auto* delegate = new TypingDelegate(
        [this](const QModelIndex& cell, const QString& text) { typing(cell, text); }, filelist);
    filelist->setItemDelegate(delegate);
    connect(delegate, &QAbstractItemDelegate::closeEditor, this, [this] {
        typingCell = QPersistentModelIndex();
        listChanged();
    });
    catwarning->hide();
    loginstatus->hide();
    connect(runnerView, &RunnerView::failedQuietly, this, [this](const Outcome& outcome) {
        loginstatus->setText(
            outcome.title + QLatin1String(": ") +
            QString(outcome.message()).replace(QLatin1Char('\n'), QLatin1String(": ")));
        loginstatus->show();
    });

    catlistmodel = new QStandardItemModel(0, 2, this);
    catlistmodel->setHeaderData(0, Qt::Horizontal, tr("Category"));
    catnames = new CategoryNames(this);
    catnames->setSourceModel(catlistmodel);
    catlist->setModel(catnames);
    catlist->setHeaderHidden(true);

    connect(website, &QLineEdit::textChanged, this, &Vemo::websiteChanged);
    connect(username, &QLineEdit::textChanged, this, &Vemo::usernameChanged);
    connect(password, &QLineEdit::textChanged, this, &Vemo::passwordChanged);
    connect(maxWidth, &QLineEdit::textChanged, this, &Vemo::maxWidthChanged);
    connect(maxHeight, &QLineEdit::textChanged, this, &Vemo::maxHeightChanged);
    connect(category, &QSpinBox::valueChanged, this, &Vemo::categoryChanged);
    connect(checkresize, &QCheckBox::stateChanged, this, &Vemo::checkresizeChanged);
    connect(quality, &QSpinBox::valueChanged, this,
            [this](int value) { settings->setValue(Settings::Quality, value); });
    connect(keeplocation, &QCheckBox::stateChanged, this,
            [this](int state) { settings->setValue(Settings::Metadata, state); });
    connect(butadd, &QPushButton::pressed, this, &Vemo::addFiles);
    connect(butaddclipboard, &QPushButton::pressed, this, &Vemo::addFilesFromClipboard);
    connect(butdel, &QPushButton::pressed, this, &Vemo::removeFiles);
    connect(filelist->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &Vemo::filelistSelectionChanged);
    connect(catlist, &QTreeView::clicked, this, &Vemo::catlistClicked);
    connect(catlist->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &Vemo::catlistClicked);
    connect(filelistmodel, &QAbstractItemModel::rowsRemoved, imgview, [this] {
        if (!previewed.isValid())
            imgview->clear();
    });
    connect(butupload, &QPushButton::pressed, this, &Vemo::uploadFilelist);
    connect(butcat, &QPushButton::pressed, this, &Vemo::butcatPressed);

    // Keys for the picture list. A cell editor keeps its own keys: it claims
    // Delete and Paste before any shortcut, and Ctrl+O waits until it is
    // closed. Ctrl+U uploads from anywhere: a comment being typed is stored
    // first and goes with the batch, and no field takes the key for itself
    // (see eventFilter).
    const auto unlessEditing = [this](void (Vemo::*slot)()) {
        return [this, slot] {
            if (!filelist->isEditing())
                (this->*slot)();
        };
    };
    new QShortcut(QKeySequence::Delete, filelist, unlessEditing(&Vemo::removeFiles),
                  Qt::WidgetShortcut);
    new QShortcut(QKeySequence::Paste, this, unlessEditing(&Vemo::addFilesFromClipboard));
    new QShortcut(QKeySequence::Open, this, unlessEditing(&Vemo::addFiles));
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_U), this, [this] {
        filelist->commitEditor();
        uploadFilelist();
    });
    qApp->installEventFilter(this);

    settings = std::make_unique<Settings>();
    // Told once, after the window is there: no change is kept from now on.
    settings->setWriteFailedHandler([this] {
        QMetaObject::invokeMethod(
            this,
            [] {
                messages::information(
                    QStringLiteral("Vemo"),
                    tr("The settings cannot be saved in %1; changes are lost when the program "
                       "ends.")
                        .arg(QDir::toNativeSeparators(
                            QFileInfo(Settings::FileName).absoluteFilePath())));
            },
            Qt::QueuedConnection);
    });
    loadSettings();
    restoreGeometry(settings->value(Settings::Geometry).toByteArray());
    // At first, the path column is as wide as its title at least.
    columns->resizeSection(picturelist::FullPath,
                           qMax(columns->sectionSize(picturelist::FullPath),
                                columns->sectionSizeHint(picturelist::FullPath)));
    columns->restoreState(settings->value(Settings::Columns).toByteArray());
    connect(website, &QLineEdit::editingFinished, this, [this] {
        // The field shows the address as it is used.
        const QString cleaned = siteaddress::clean(website->text());
        if (cleaned != website->text())
            website->setText(cleaned);
    });

    // The list and the record of what was sent live beside the settings.
    journal = std::make_shared<history::SentJournal>();
    report(journal->load());
    listFile = std::make_unique<history::ListFile>();
    if (!addCommandLineFiles())
        restoreList();
    // From here on every change of the list is saved; pictures named on the
    // command line replace the saved list only once they are changed.
    saveTimer.setSingleShot(true);
    saveTimer.setInterval(500);
    connect(&saveTimer, &QTimer::timeout, this, &Vemo::saveList);
    connect(filelistmodel, &QAbstractItemModel::rowsInserted, this, &Vemo::listChanged);
    connect(filelistmodel, &QAbstractItemModel::rowsRemoved, this, &Vemo::listChanged);
    connect(filelistmodel, &QAbstractItemModel::rowsMoved, this, &Vemo::listChanged);
    connect(filelistmodel, &QAbstractItemModel::modelReset, this, &Vemo::listChanged);
    connect(filelistmodel, &QAbstractItemModel::layoutChanged, this, &Vemo::listChanged);
    connect(filelistmodel, &QAbstractItemModel::dataChanged, this, &Vemo::listChanged);
    butremovesent->setVisible(!results->sent().isEmpty());

    // A changed login is tried once typing has stopped for a moment.
    loginTimer.setSingleShot(true);
    loginTimer.setInterval(1000);
    connect(&loginTimer, &QTimer::timeout, this, &Vemo::loginTyped);
    for (QLineEdit* field : {website, username, password})
        connect(field, &QLineEdit::textChanged, &loginTimer, qOverload<>(&QTimer::start));

    notice = label_7->text();
    if (settings->text(Settings::Website).isEmpty() ||
        settings->text(Settings::Username).isEmpty()) {
        // Nothing to log in with yet: the Options tab says what is missing.
        tabWidget->setCurrentWidget(tab_2);
        const QString hint = tr("Enter the address of your site and your login, then choose a "
                                "category on the Gallery tab.");
        label_7->setText(QStringLiteral("<p><b>%1</b></p>").arg(hint.toHtmlEscaped()) + notice);
    } else {
        butcatPressed();
    }
}

Vemo::~Vemo()
{
    if (saveTimer.isActive() || typingCell.isValid())
        saveList();
    settings->setValue(Settings::Geometry, saveGeometry());
    settings->setValue(Settings::Columns, filelist->header()->saveState());
    // The worker stops (and any transfer under way is abandoned) before the
    // models and settings it was given go away.
    delete runnerView;
    uploadthread.reset();
}

Upload* Vemo::progressWindow() const
{
    return runnerView->progressWindow();
}

bool Vemo::everyPictureSent() const
{
    return results->allSent();
}

bool Vemo::eventFilter(QObject* watched, QEvent* event)
{
    // The Category box's mnemonic leads to its number, not to the control
    // of the box used last.
    if (watched == groupBox_3 && event->type() == QEvent::Shortcut) {
        category->setFocus(Qt::ShortcutFocusReason);
        category->selectAll();
        return true;
    }
    // Ctrl+U belongs to the window, also where a line edit would take it
    // (to delete what stands before the cursor).
    if (event->type() == QEvent::ShortcutOverride && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_U && key->modifiers() == Qt::ControlModifier)
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Vemo::loadSettings()
{
    category->setValue(settings->number(Settings::Category));
    website->setText(settings->text(Settings::Website));
    username->setText(settings->text(Settings::Username));
    password->setText(settings->text(Settings::Password));
    maxWidth->setText(settings->text(Settings::MaxWidth));
    maxHeight->setText(settings->text(Settings::MaxHeight));
    quality->setValue(settings->number(Settings::Quality));
    keeplocation->setChecked(settings->number(Settings::Metadata) != 0);
    checkresize->setCheckState(settings->number(Settings::Resize) != 0 ? Qt::Checked
                                                                       : Qt::Unchecked);
}

void Vemo::websiteChanged(QString str)
{
    settings->setValue(Settings::Website, siteaddress::clean(str));
    rebuildLinks();
}

void Vemo::usernameChanged(QString str)
{
    settings->setValue(Settings::Username, str);
}

void Vemo::passwordChanged(QString str)
{
    settings->setValue(Settings::Password, str);
}

void Vemo::categoryChanged(int cat)
{
    settings->setValue(Settings::Category, cat);
    rebuildLinks();
    showCategory(cat);
    showRetry(unsentRows);
}

void Vemo::maxWidthChanged(QString val)
{
    settings->setValue(Settings::MaxWidth, val);
}

void Vemo::maxHeightChanged(QString val)
{
    settings->setValue(Settings::MaxHeight, val);
}

void Vemo::checkresizeChanged(int state)
{
    settings->setValue(Settings::Resize, state);
}

void Vemo::rebuildLinks()
{
    // The stored values, not the widgets', make the links. They are escaped
    // for the label's HTML; the address a click opens is the text as stored.
    const QString site = settings->text(Settings::Website).toHtmlEscaped();
    const QString cat = settings->text(Settings::Category).toHtmlEscaped();
    glink->setText(
        QStringLiteral("<a href=\"%1/index.php?gallery-%2\">%3</a>").arg(site, cat, tr("Gallery")));
    gadminlink->setText(QStringLiteral("<a href=\"%1/admin.php?gallery-S%2\">%3</a>")
                            .arg(site, cat, tr("Admin Gallery")));
}

bool Vemo::addCommandLineFiles()
{
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() <= 1)
        return false;
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (!picturelist::hasImageExtension(arguments.at(i), formats))
            continue;
        picturelist::appendFileRow(*filelistmodel, arguments.at(i));
        if (!QFileInfo::exists(arguments.at(i)))
            results->markMissing(filelistmodel->index(filelistmodel->rowCount() - 1, 0));
    }
    return filelistmodel->rowCount() > 0;
}

void Vemo::restoreList()
{
    const history::ListFile::Loaded loaded = listFile->load();
    report(loaded.problem);
    for (const history::ListRow& row : loaded.rows) {
        const int r = filelistmodel->rowCount();
        if (row.path.isEmpty()) {
            picturelist::appendClipboardRow(*filelistmodel, row.image);
            filelistmodel->setData(filelistmodel->index(r, picturelist::File), row.name);
        } else {
            picturelist::appendFileRow(*filelistmodel, row.path);
        }
        filelistmodel->setData(filelistmodel->index(r, picturelist::Comment), row.comment);
        const QPersistentModelIndex index = filelistmodel->index(r, 0);
        if (row.missing)
            results->markMissing(index);
        else
            results->restore(index, {row.result, row.text, row.reason});
    }
}

void Vemo::listChanged()
{
    if (!saveTimer.isActive())
        saveTimer.start();
}

void Vemo::typing(const QModelIndex& cell, const QString& text)
{
    typingCell = cell;
    typed = text;
    listChanged();
}

void Vemo::saveList()
{
    saveTimer.stop();
    butremovesent->setVisible(!results->sent().isEmpty());
    QList<history::ListRow> rows;
    rows.reserve(filelistmodel->rowCount());
    const QList<picturelist::Row> pictures = picturelist::snapshot(*filelistmodel);
    for (int r = 0; r < pictures.size(); ++r) {
        const picturelist::Row& picture = pictures.at(r);
        history::ListRow row;
        row.name = picture.name;
        row.comment = picture.comment;
        row.path = picture.fullPath;
        row.image = picture.image;
        if (typingCell.isValid() && typingCell.row() == r) {
            if (typingCell.column() == picturelist::Comment)
                row.comment = typed;
            else if (typingCell.column() == picturelist::File)
                row.name = typed;
        }
        const QStringList result = results->saved(r);
        if (!result.isEmpty()) {
            row.result = result.at(0);
            row.text = result.at(1);
            row.reason = result.at(2);
        }
        rows.append(row);
    }
    QString error;
    if (!listFile->save(rows, &error) && !saveFailed) {
        saveFailed = true;
        report(tr("The picture list cannot be saved in %1 (%2); it is lost when the program "
                  "ends.")
                   .arg(history::ListFile::FileName, error));
    }
}

void Vemo::report(const QString& problem)
{
    if (problem.isEmpty())
        return;
    qDebug() << problem;
    // Once the window is up.
    QTimer::singleShot(0, this,
                       [problem] { messages::information(QStringLiteral("Vemo"), problem); });
}

void Vemo::removeSent()
{
    QList<QPersistentModelIndex> rows = results->sent();
    std::sort(rows.begin(), rows.end(),
              [](const QPersistentModelIndex& a, const QPersistentModelIndex& b) {
                  return a.row() > b.row();
              });
    for (const QPersistentModelIndex& row : rows)
        filelistmodel->removeRow(row.row());
}

void Vemo::addFiles()
{
    QFileDialog dialog(this, QString(), QString(), QString());
    dialog.setFileMode(QFileDialog::ExistingFiles);
    const QString directory = settings->text(Settings::Directory);
    if (!directory.isEmpty())
        dialog.setDirectory(directory);
    // The images filter names every format the image plug-ins read: its own
    // patterns first, the others added inside its parentheses.
    QString images = tr("Images (*.jpg *.gif *.bmp *.png *.tif *.tiff *.xpm *.svg)");
    const qsizetype end = images.lastIndexOf(QLatin1Char(')'));
    const QStringList listed =
        images.left(end).section(QLatin1Char('('), -1).split(QLatin1Char(' '));
    QString more;
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        const QString pattern = QStringLiteral("*.") + QString::fromLatin1(format);
        if (!listed.contains(pattern))
            more += QLatin1Char(' ') + pattern;
    }
    if (end >= 0)
        images.insert(end, more);
    dialog.setNameFilters({images, tr("All files (*)")});
    if (!dialog.exec())
        return;
    const QStringList files = dialog.selectedFiles();
    settings->setValue(Settings::Directory, dialog.directory().path());
    auto* model = qobject_cast<QStandardItemModel*>(filelist->model());
    for (const QString& file : files)
        picturelist::appendFileRow(*model, file);
}

void Vemo::addFilesFromClipboard()
{
    // Files copied in a file manager come as their addresses.
    const QMimeData* data = QApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (data && data->hasUrls() && filelist->addUrls(data->urls()) > 0)
        return;
    const QImage image = QApplication::clipboard()->image(QClipboard::Clipboard);
    if (image.isNull()) {
        messages::information(QStringLiteral("Vemo"), tr("no image found"));
        return;
    }
    picturelist::appendClipboardRow(*qobject_cast<QStandardItemModel*>(filelist->model()), image);
}

void Vemo::removeFiles()
{
    QModelIndexList rows = filelist->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() > b.row(); });
    for (const QModelIndex& index : rows)
        filelist->model()->removeRow(index.row());
}

void Vemo::filelistSelectionChanged(QItemSelection, QItemSelection)
{
    const QModelIndexList rows = filelist->selectionModel()->selectedRows();
    if (rows.size() != 1)
        return;
    const QModelIndex row = rows.first();
    const QString path = row.siblingAtColumn(picturelist::FullPath).data().toString();
    previewed = row;
    if (path.isEmpty()) {
        showPreview(
            imageprep::thumbnail(row.siblingAtColumn(picturelist::Image).data().value<QImage>()));
        return;
    }
    // Files are read off the GUI thread: a photo's embedded thumbnail when it
    // has one, else a reduced decode. A slow answer for a row no longer
    // selected is dropped.
    const int request = ++previewRequest;
    auto* watcher = new QFutureWatcher<QImage>(this);
    connect(watcher, &QFutureWatcher<QImage>::finished, this, [this, watcher, request] {
        if (request == previewRequest)
            showPreview(watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run([path] { return imageprep::quickThumbnail(path); }));
}

void Vemo::showPreview(const QImage& preview)
{
    imgview->setPixmap(QPixmap::fromImage(preview));
}

void Vemo::uploadAndClose()
{
    // The fetch at start goes first; the upload waits for it.
    if (uploadthread->isRunning()) {
        connect(uploadthread.get(), &uploadThread::jobEnded, this, &Vemo::uploadAndClose,
                Qt::SingleShotConnection);
        return;
    }
    // What did not go stays on the screen, with Retry failed.
    connect(
        uploadthread.get(), &uploadThread::uploadRequested, this,
        [this](int batch, bool) {
            connect(uploadthread.get(), &uploadThread::jobEnded, this, [this, batch](int run) {
                if (run == batch && everyPictureSent())
                    close();
            });
        },
        Qt::SingleShotConnection);
    // Pictures sent before go again, as they do from the command line; a later
    // Upload in the window that stayed open asks again.
    unattended = true;
    uploadFilelist();
    unattended = false;
}

void Vemo::catlistClicked(QModelIndex ind)
{
    // Also called when the tree's current row changes, and when it has none.
    if (!ind.isValid())
        return;
    category->setValue(catnames->mapToSource(ind).siblingAtColumn(1).data().toString().toInt());
}

QModelIndex Vemo::treeRow(int id) const
{
    const QModelIndexList found =
        catlistmodel->match(catlistmodel->index(0, 1), Qt::DisplayRole, QString::number(id), 1,
                            Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? QModelIndex()
                           : catnames->mapFromSource(found.first().siblingAtColumn(0));
}

void Vemo::showCategory(int id)
{
    const QModelIndex row = treeRow(id);
    // Through the view: once it has been given a current row, or none, it
    // picks none of its own when it gets the focus.
    catlist->setCurrentIndex(row);
    if (row.isValid())
        catlist->scrollTo(row);
    const QString warning = treeRead && !row.isValid()
                                ? tr("Category %1 is not in the site's gallery.").arg(id)
                                : QString();
    catwarning->setText(warning);
    catwarning->setVisible(!warning.isEmpty());
    category->setAccessibleDescription(warning);
}

bool Vemo::mayUploadTo(int id)
{
    if (!treeRead || treeRow(id).isValid())
        return true;
    return messages::question(
        QStringLiteral("Vemo"),
        tr("Category %1 is not in the site's gallery. Upload anyway?").arg(id));
}

void Vemo::showRetry(int unsent)
{
    unsentRows = unsent;
    butretry->setVisible(unsent > 0);
    const int id = settings->number(Settings::Category);
    const QString what =
        unsent == 1 ? tr("Send the picture not sent to category %1").arg(id)
                    : tr("Send the %1 pictures not sent to category %2").arg(unsent).arg(id);
    butretry->setToolTip(what);
    butretry->setAccessibleDescription(what);
}

void Vemo::updateCategories(QByteArray ba)
{
    qDebug("updateCategories");
    // No row of the old tree may become current while it goes.
    catlist->setCurrentIndex(QModelIndex());
    treeRead = categories::fillTree(catlistmodel->invisibleRootItem(), ba) > 0;
    catlist->expandAll();
    showCategory(settings->number(Settings::Category));
    label_7->setText(notice);
    loginstatus->hide();
}

UploadJob Vemo::currentJob() const
{
    UploadJob job = settings->job();
    job.options.journal = journal;
    return job;
}

bool Vemo::askAboutSent(UploadJob& job, const QList<QPersistentModelIndex>& rows)
{
    report(journal->load());
    const QList<QDateTime> when =
        history::sentBefore(*journal, job.login.website, job.category, job.rows);
    int count = 0;
    for (qsizetype i = 0; i < when.size(); ++i) {
        if (when.at(i).isValid()) {
            results->markSentBefore(rows.value(i), when.at(i));
            ++count;
        }
    }
    if (count == 0 || unattended)
        return true;
    const QString text =
        count == 1 ? tr("1 of these %1 pictures was already sent to category %2. Send it again?")
                         .arg(when.size())
                         .arg(job.category)
                   : tr("%1 of these %2 pictures were already sent to category %3. Send them "
                        "again?")
                         .arg(count)
                         .arg(when.size())
                         .arg(job.category);
    const int answer = messages::question(QStringLiteral("Vemo"), text,
                                          {tr("Skip them"), tr("Send all"), tr("Cancel")});
    if (answer != 0 && answer != 1)
        return false;
    job.options.skipSent = answer == 0;
    return true;
}

void Vemo::sendLoginData()
{
    const UploadJob job = currentJob();
    emit setLoginData(job.login.website, job.login.username, job.login.password);
    emit setJobOptions(job.options);
}

void Vemo::butcatPressed()
{
    const SiteLogin login = settings->job().login;
    fetchedLogin = {login.website, login.username, login.password};
    sendLoginData();
    emit getCategories();
}

void Vemo::loginTyped()
{
    const SiteLogin login = settings->job().login;
    const QStringList typed{login.website, login.username, login.password};
    if (!siteaddress::usable(login.website) || login.username.isEmpty() ||
        login.password.isEmpty() || typed == fetchedLogin)
        return;
    if (uploadthread->isRunning()) { // after the job under way
        loginTimer.start();
        return;
    }
    loginstatus->hide();
    runnerView->quietNextJob();
    butcatPressed();
}

void Vemo::uploadFilelist()
{
    UploadJob job = currentJob();
    if (!mayUploadTo(job.category))
        return;
    QList<QPersistentModelIndex> rows;
    for (int r = 0; r < filelistmodel->rowCount(); ++r)
        rows.append(filelistmodel->index(r, 0));
    job.rows = picturelist::snapshot(*filelistmodel);
    if (!askAboutSent(job, rows))
        return;
    emit setLoginData(job.login.website, job.login.username, job.login.password);
    emit setJobOptions(job.options);
    emit setCategory(job.category);
    emit setResize(job.resize);
    emit setResizeData(job.maxwidth, job.maxheight);
    emit setFilelistData(*filelistmodel);
    results->expect(rows);
    emit startUpload();
}

void Vemo::retryFailed()
{
    // To the category shown now: the user may have picked the right one.
    const QList<QPersistentModelIndex> rows = results->unsent();
    UploadJob job = currentJob();
    if (!mayUploadTo(job.category))
        return;
    QList<int> numbers;
    for (const QPersistentModelIndex& row : rows)
        numbers.append(row.row());
    job.rows = picturelist::snapshot(*filelistmodel, numbers);
    if (!askAboutSent(job, rows))
        return;
    results->expect(rows);
    uploadthread->startBatch(job);
}
