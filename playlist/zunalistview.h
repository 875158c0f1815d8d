#pragma once

#include <QListWidget>
#include <QString>

// One playlist: a list whose rows are 40 px slots, each covered by the ZUNAListWidget of
// one file. Files come in through AddFile(), from the window's file dialog or dropped
// from a file manager.
class ZUNAListView : public QListWidget {
    Q_OBJECT

public:
    explicit ZUNAListView(int number, QWidget *parent = nullptr);
    ~ZUNAListView() override;

    // The playlist's number: 0 for "Default", never reused.
    int Getid() const { return id; }

    // Appends one row for `path`, as it comes: no check of existence, kind or duplicates.
    void AddFile(QString path);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void updateEditorGeometries() override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void placeEntries();

    const int id;
    QWidget *parking;  // hidden holder of the entry widgets of rows out of sight
    bool insertingRow = false;
};
