#pragma once

#include <QString>
#include <QWidget>

#include "metadata/trackmetadata.h"

// One playlist row: title and artist on the left; type, length and size on the right. It
// keeps the file's path and everything read from it, which never change after construction.
// It handles no input events, so clicks and double-clicks on it reach the list underneath.
//
// The labels and their layouts are built when the entry is first polished, just before it
// is first shown (ensurePolished() builds them at once). A playlist of thousands of rows
// keeps them only for the rows in sight: releaseLabels() drops them until ensureLabels()
// asks for them again. They are the same each time, as they come from the path and metadata
// alone.
class ZUNAListWidget : public QWidget {
    Q_OBJECT

public:
    ZUNAListWidget(TrackMetadata read, QString file, QWidget *parent = nullptr);
    ~ZUNAListWidget() override;

    QString Getpath() const;
    TrackMetadata Getmetadata() const;

    void ensureLabels();
    void releaseLabels();

protected:
    bool event(QEvent *event) override;

private:
    QString path;
    TrackMetadata metadata;
    bool labelsWanted = true;  // build the labels when polished
};
