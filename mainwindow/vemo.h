#pragma once

#include "core/batch/uploadjob.h"
#include "forms/mainform.h"

#include <QByteArray>
#include <QItemSelection>
#include <QModelIndex>
#include <QPersistentModelIndex>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace history {
class ListFile;
class SentJournal;
} // namespace history

class BatchResults;
class QSortFilterProxyModel;
class QStandardItemModel;
class RunnerView;
class Settings;
class Upload;
class uploadThread;

// The main window: keeps the settings in "vemo.ini" in the working directory,
// the picture list and the category tree, and drives the transfer worker
// through signals.
class Vemo : public QWidget, private Ui::qMain
{
    Q_OBJECT

public:
    explicit Vemo(QWidget* parent = nullptr);
    ~Vemo() override;

    // The transfer worker this window drives.
    uploadThread* worker() const { return uploadthread.get(); }
    // The progress window of the batch asked for last, while it is there.
    Upload* progressWindow() const;
    // Uploads the list as Upload does, once the worker is free, and closes
    // the window when that batch has sent every picture.
    void uploadAndClose();
    // True when the list has pictures and every one of them was sent.
    bool everyPictureSent() const;

signals:
    void setLoginData(QString website, QString username, QString password);
    void setCategory(int category);
    void setResize(int resize);
    void setResizeData(int maxwidth, int maxheight);
    void setFilelistData(QStandardItemModel& filelistmodel);
    void setJobOptions(JobOptions options);
    void startUpload();
    void getCategories();

private slots:
    void websiteChanged(QString str);
    void usernameChanged(QString str);
    void passwordChanged(QString str);
    void categoryChanged(int cat);
    void maxWidthChanged(QString val);
    void maxHeightChanged(QString val);
    void checkresizeChanged(int state);
    void uploadFilelist();
    void addFiles();
    void addFilesFromClipboard();
    void removeFiles();
    void filelistSelectionChanged(QItemSelection selected, QItemSelection deselected);
    void catlistClicked(QModelIndex ind);
    void updateCategories(QByteArray ba);
    void butcatPressed();
    void retryFailed();
    void removeSent();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadSettings();
    // Adds the pictures named on the command line, marking those whose file
    // is not there; false when none are named.
    bool addCommandLineFiles();
    // The list saved last, with each row's comment and result.
    void restoreList();
    // The list changed: it is saved shortly (at most every half second).
    void listChanged();
    void saveList();
    // A comment (or a clipboard picture's name) being typed: it is kept as
    // typed before the editor is closed.
    void typing(const QModelIndex& cell, const QString& text);
    // Tells the user once about a damaged file set aside, or such.
    void report(const QString& problem);
    // The job the settings describe, with the journal.
    UploadJob currentJob() const;
    // Counts the pictures of `job` sent before to its site and category and,
    // when there are any, marks their `rows` and asks whether to send them
    // again. False when the user cancels.
    bool askAboutSent(UploadJob& job, const QList<QPersistentModelIndex>& rows);
    void rebuildLinks();
    void sendLoginData();
    void showPreview(const QImage& preview);
    // The tree's row of category `id`, or none.
    QModelIndex treeRow(int id) const;
    // Selects the tree's row of category `id` and scrolls to it; when no row
    // has it, none is selected.
    void showCategory(int id);
    // The login typed on the Options tab, once typing has stopped: fetches the
    // categories when it is complete and not the one fetched last; failures
    // are told on the Options tab.
    void loginTyped();
    // Whether pictures may go to category `id`: it is in the tree read off
    // the site, no tree was read, or the user says so.
    bool mayUploadTo(int id);
    void showRetry(int unsent);

    std::unique_ptr<Settings> settings;
    QStandardItemModel* filelistmodel = nullptr;
    QStandardItemModel* catlistmodel = nullptr; // name and id, as categories::fillTree makes it
    QSortFilterProxyModel* catnames = nullptr;  // the names alone: what the tree shows
    QPersistentModelIndex previewed;            // the row the preview shows
    int previewRequest = 0;                     // the preview asked for last
    QTimer loginTimer;                          // runs from each change of the login
    QStringList fetchedLogin;                   // site, user and password fetched last
    QString notice;                             // the Options tab's notice as designed
    bool treeRead = false;                      // the tree holds the site's categories
    int unsentRows = 0;                         // what Retry failed would send
    std::unique_ptr<uploadThread> uploadthread;
    RunnerView* runnerView = nullptr;
    BatchResults* results = nullptr;
    std::shared_ptr<history::SentJournal> journal;
    std::unique_ptr<history::ListFile> listFile;
    QTimer saveTimer;                 // runs from the first change not saved yet
    QPersistentModelIndex typingCell; // the cell whose editor is open, if typed into
    QString typed;                    // what it holds
    bool saveFailed = false;          // told once
    bool unattended = false;          // uploadAndClose: pictures sent before are not asked about
};
