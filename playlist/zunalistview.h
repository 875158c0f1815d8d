#pragma once

#include <QListWidget>
#include <QString>
#include <memory>

#include "metadata/storedmetadata.h"
#include "metadata/trackmetadata.h"

namespace zuna {
class PlaylistIntake;
}  // namespace zuna

// One playlist: a list whose rows are 40 px slots, each covered by the ZUNAListWidget of
// one file. Files come in through AddFile() one at a time, or through AddFiles() and drops
// from a file manager by the thousand: those are taken in without stopping the window
// (see PlaylistIntake), under a busy cursor, the rows appearing in order as they are read.
class ZUNAListView : public QListWidget {
    Q_OBJECT

public:
    explicit ZUNAListView(int number, QWidget *parent = nullptr);
    ~ZUNAListView() override;

    // The playlist's number: 0 for "Default", never reused.
    int Getid() const { return id; }

    // Appends one row for `path`, as it comes: no check of existence, kind or duplicates.
    // The row is there when it returns (after any files still coming in).
    void AddFile(QString path);
    // Appends a row for each of `paths`, in order, as AddFile() would, but in the
    // background: the rows are there once takingIn() is false again.
    void AddFiles(const QStringList &paths);
    bool takingIn() const;

    // Rows are all 40 px high and as wide as the list, so where each one lies is arithmetic:
    // the list never lays its rows out one by one, which at 100,000 rows would cost more
    // than putting them in.
    QRect visualRect(const QModelIndex &index) const override;
    QModelIndex indexAt(const QPoint &point) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    void doItemsLayout() override;

signals:
    // The keyboard's way to what the buttons do: Delete on the list, Space on the list.
    void DeletePressed();
    void PausePressed();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void updateEditorGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void updateGeometries() override;
    void paintEvent(QPaintEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    bool isIndexHidden(const QModelIndex &index) const override;

private:
    bool appendRow(const QString &path, const zuna::StoredMetadata &metadata);
    void placeEntries();
    void updateScrollRange();
    int rowAtY(int y) const;  // the row under a viewport height, unclamped
    QRect rowRect(int row) const;

    const int id;
    QWidget *parking;  // hidden holder of the entry widgets of rows out of sight
    bool insertingRow = false;
    QPersistentModelIndex hovered;                 // the row under the pointer, drawn as such
    std::unique_ptr<zuna::PlaylistIntake> intake;  // goes first, with whatever it has not added
};
