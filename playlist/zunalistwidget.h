#pragma once

#include <QString>
#include <QWidget>

#include "metadata/storedmetadata.h"
#include "metadata/trackmetadata.h"

// One playlist row: title and artist on the left; type, length and size on the right. It
// keeps the file's path and everything read from it, which never change after construction.
// It handles no input events, so clicks and double-clicks on it reach the list underneath.
//
// The labels and their layouts are built when the entry is first polished, just before it
// is first shown (ensurePolished() builds them at once). A playlist of thousands of rows
// keeps them only for the rows in sight: releaseLabels() drops them until ensureLabels()
// asks for them again. They are the same each time, as they come from the path and metadata
// alone. A view that keeps its rows out of sight says so with keepHidden(true): the entry
// then stays hidden (and unpolished) whatever shows it, until keepHidden(false).
class ZUNAListWidget : public QWidget {
    Q_OBJECT

public:
    ZUNAListWidget(const TrackMetadata &read, QString file, QWidget *parent = nullptr);
    // The same from what a row keeps of a map (for readers that made it already).
    ZUNAListWidget(zuna::StoredMetadata read, QString file, QWidget *parent = nullptr);
    ~ZUNAListWidget() override;

    QString Getpath() const;
    TrackMetadata Getmetadata() const;
    // What Getmetadata() holds, without making the map.
    const zuna::StoredMetadata &metadataRecord() const { return metadata; }

    void ensureLabels();
    void releaseLabels();
    void keepHidden(bool hidden);
    bool keptHidden() const { return hiddenByView; }

    void setVisible(bool visible) override;

protected:
    bool event(QEvent *event) override;

private:
    QString path;
    zuna::StoredMetadata metadata;
    bool labelsWanted = true;  // build the labels when polished
    bool hiddenByView = false;
};
