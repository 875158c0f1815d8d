#pragma once

#include <QString>
#include <QWidget>

#include "metadata/trackmetadata.h"

// One playlist row: title and artist on the left; type, length and size on the right. It
// keeps the file's path and everything read from it, and never changes after construction.
// It handles no input events, so clicks and double-clicks on it reach the list underneath.
class ZUNAListWidget : public QWidget {
    Q_OBJECT

public:
    ZUNAListWidget(TrackMetadata metadata, QString path, QWidget *parent = nullptr);
    ~ZUNAListWidget() override;

    QString Getpath() const;
    TrackMetadata Getmetadata() const;

private:
    QString path;
    TrackMetadata metadata;
};
