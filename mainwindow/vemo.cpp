#include "mainwindow/vemo.h"

#include "core/batch/uploadthread.h"
#include "core/pictures/imageprep.h"
#include "core/pictures/picturelist.h"
#include "core/settings.h"
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
#include <QKeySequence>
#include <QPixmap>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

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
    // Name and comment share the width the window gives them.
    QHeaderView* columns = filelist->header();
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(picturelist::File, QHeaderView::Stretch);
    columns->setSectionResizeMode(picturelist::Comment, QHeaderView::Stretch);
    columns->setSectionResizeMode(picturelist::Result, QHeaderView::ResizeToContents);

    results = new BatchResults(filelistmodel, uploadthread.get(), this);
    butretry->hide();
    connect(results, &BatchResults::summaryChanged, this, [this](const QString& text, bool retry) {
        summary->setText(text);
        butretry->setVisible(retry);
    });
    connect(butretry, &QPushButton::pressed, this, &Vemo::retryFailed);

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
    // Delete and Paste before any shortcut, and the others wait until it is
    // closed, so that no comment being typed is left out.
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
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_U), this, unlessEditing(&Vemo::uploadFilelist));

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
    columns->restoreState(settings->value(Settings::Columns).toByteArray());
    addCommandLineFiles();

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
    settings->setValue(Settings::Website, str);
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

void Vemo::addCommandLineFiles()
{
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() <= 1)
        return;
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (picturelist::hasImageExtension(arguments.at(i), formats))
            picturelist::appendFileRow(*filelistmodel, arguments.at(i));
    }
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
    connect(
        uploadthread.get(), &uploadThread::uploadRequested, this,
        [this](int batch, bool) {
            connect(uploadthread.get(), &uploadThread::jobEnded, this, [this, batch](int run) {
                if (run == batch)
                    close();
            });
        },
        Qt::SingleShotConnection);
    uploadFilelist();
}

void Vemo::catlistClicked(QModelIndex ind)
{
    // Also called when the tree's current row changes, and when it has none.
    if (!ind.isValid())
        return;
    category->setValue(catnames->mapToSource(ind).siblingAtColumn(1).data().toString().toInt());
}

void Vemo::showCategory(int id)
{
    const QModelIndexList found =
        catlistmodel->match(catlistmodel->index(0, 1), Qt::DisplayRole, QString::number(id), 1,
                            Qt::MatchExactly | Qt::MatchRecursive);
    const QModelIndex row =
        found.isEmpty() ? QModelIndex() : catnames->mapFromSource(found.first().siblingAtColumn(0));
    // Through the view: once it has been given a current row, or none, it
    // picks none of its own when it gets the focus.
    catlist->setCurrentIndex(row);
    if (row.isValid())
        catlist->scrollTo(row);
}

void Vemo::updateCategories(QByteArray ba)
{
    qDebug("updateCategories");
    // No row of the old tree may become current while it goes.
    catlist->setCurrentIndex(QModelIndex());
    categories::fillTree(catlistmodel->invisibleRootItem(), ba);
    catlist->expandAll();
    showCategory(settings->number(Settings::Category));
    label_7->setText(notice);
}

void Vemo::sendLoginData()
{
    const UploadJob job = settings->job();
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
    if (login.website.isEmpty() || login.username.isEmpty() || login.password.isEmpty() ||
        typed == fetchedLogin)
        return;
    if (uploadthread->isRunning()) { // after the job under way
        loginTimer.start();
        return;
    }
    butcatPressed();
}

void Vemo::uploadFilelist()
{
    const UploadJob job = settings->job();
    sendLoginData();
    emit setCategory(job.category);
    emit setResize(job.resize);
    emit setResizeData(job.maxwidth, job.maxheight);
    emit setFilelistData(*filelistmodel);
    QList<QPersistentModelIndex> rows;
    for (int r = 0; r < filelistmodel->rowCount(); ++r)
        rows.append(filelistmodel->index(r, 0));
    results->expect(rows);
    results->setCategory(job.category);
    emit startUpload();
}

void Vemo::retryFailed()
{
    const QList<QPersistentModelIndex> rows = results->unsent();
    UploadJob job = settings->job();
    job.category = results->lastCategory();
    QList<int> numbers;
    for (const QPersistentModelIndex& row : rows)
        numbers.append(row.row());
    job.rows = picturelist::snapshot(*filelistmodel, numbers);
    results->expect(rows);
    results->setCategory(job.category);
    uploadthread->startBatch(job);
}
