#pragma once

#include <QByteArray>
#include <QModelIndex>
#include <QString>
#include <QVariant>
#include <QVariantMap>

// What the probes learnt of an item's media: its "info", kept as typed values and made into a
// map only when a caller asks for one, which is seldom: for a drag and for the store. Its texts
// are kept together as UTF-8 in one block; of the detail-info JSON, which would be most of an
// item's size, only what differs from item to item. A key that was never given stays absent.
class ItemInfo
{
public:
    // Takes the keys of InfoField; others have no place here.
    static ItemInfo fromMap(const QVariantMap &map);
    QVariantMap toMap() const;

    int frameWidth() const { return width; }
    int frameHeight() const { return height; }
    int timeLenMsec() const { return lengthMsec; }
    QString duration() const { return text(DurationText); }
    QString fps() const { return text(FpsText); }
    QString detailInfo() const { return text(DetailText); }
    QString pptPath() const { return text(SlidesText); }
    void setFrameSize(int frameWidth, int frameHeight);

private:
    enum Text { DurationText, FpsText, DetailText, SlidesText, TextCount };
    enum Key : quint8 {
        FrameWidth = 1 << 0,
        FrameHeight = 1 << 1,
        TimeLenMsec = 1 << 2,
        Duration = 1 << 3,
        Fps = 1 << 4,
        DetailInfo = 1 << 5,
        PptPath = 1 << 6,
        Coded = 1 << 7, // the detail info's fragments are coded
    };

    // The texts' keys follow one another in the order of the texts.
    static quint8 textBit(Text which) { return quint8(Duration << which); }
    void packTexts(const QString (&from)[TextCount]);
    QString text(Text which) const;

    quint8 present = 0;
    int width = 0;
    int height = 0;
    int lengthMsec = 0;
    QByteArray texts; // each as its length and its UTF-8 bytes; empty ones at the end left out
};

// The record of an item: one typed value for each key of ItemField, and which of them it was
// given, since an absent key shows differently from an empty one to the page, the scan host's
// JSON and the drag data. It becomes the item's property map only there. Of the item's model
// index it keeps only whether a view has shown it: the index is the one it has now.
class ItemRecord
{
public:
    enum Field : quint16 {
        FileIdx = 1 << 0,
        ModelIdx = 1 << 1,
        Exists = 1 << 2,
        Name = 1 << 3,
        Uuid = 1 << 4,
        Type = 1 << 5,
        Icon = 1 << 6,
        IsIcon = 1 << 7,
        Img = 1 << 8,
        AsyncCompleted = 1 << 9,
        IsValid = 1 << 10,
        TranscodeProgress = 1 << 11,
        IsTranscoded = 1 << 12,
        Info = 1 << 13,
        Reason = 1 << 14,
    };

    // Why an item cannot be shown; its text is what the page and the scan host's JSON say.
    enum class Flaw : quint8 {
        None,
        NothingToShow, // the report describes no picture and no sound
        NoPictureSize,
        ToolFailed, // crashed, hung, or could not start
        Undecodable,
        NoReader, // a picture type that this installation cannot read
        NoSlides,
        Gone, // the file is not on disk
    };
    static QString flawText(Flaw flaw);

    bool has(Field field) const { return present & field; }
    void drop(Field field) { present &= ~quint16(field); }
    // Of a field that the record was given; invalid otherwise, and for ModelIdx, which only
    // the map gives.
    QVariant value(Field field) const;
    // index: where the item is now, given as its modelIdx once it was shown.
    QVariantMap toMap(const QModelIndex &index) const;

    bool isShown() const { return has(ModelIdx); }
    QString name() const { return itemName; }
    QString type() const { return itemType; }
    bool isAsyncCompleted() const { return completed; }
    bool isValid() const { return valid; }
    bool isTranscoded() const { return transcoded; }
    QVariant img() const { return image; } // a QUrl or a path, as it was given
    int transcodeProgress() const { return progress; }
    const ItemInfo &info() const { return details; }

    void setFileIdx(int id) { put(fileIdx, id, FileIdx); }
    void markShown() { present |= ModelIdx; }
    void setExists(bool exists) { put(onDisk, exists, Exists); }
    void setName(const QString &name) { put(itemName, name, Name); }
    void setUuid(const QString &uuid) { put(itemUuid, uuid, Uuid); }
    void setType(const QString &type) { put(itemType, type, Type); }
    void setIcon(int glyph) { put(icon, glyph, Icon); }
    void setIsIcon(bool isIcon) { put(iconOnly, isIcon, IsIcon); }
    void setImg(const QVariant &img) { put(image, img, Img); }
    void setAsyncCompleted(bool completed) { put(this->completed, completed, AsyncCompleted); }
    void setIsValid(bool valid) { put(this->valid, valid, IsValid); }
    void setTranscodeProgress(int percent) { put(progress, percent, TranscodeProgress); }
    void setIsTranscoded(bool isTranscoded) { put(transcoded, isTranscoded, IsTranscoded); }
    void setInfo(const ItemInfo &info) { put(details, info, Info); }
    void setReason(Flaw flaw) { put(this->flaw, flaw, Reason); }
    Flaw reason() const { return has(Reason) ? flaw : Flaw::None; }

private:
    template<typename T>
    void put(T &member, const T &value, Field field)
    {
        member = value;
        present |= field;
    }

    quint16 present = 0;
    bool onDisk = false;
    bool iconOnly = false;
    bool completed = false;
    bool valid = false;
    bool transcoded = false;
    Flaw flaw = Flaw::None;
    int fileIdx = 0;
    int icon = 0;
    int progress = 0;
    QString itemName;
    QString itemUuid;
    QString itemType;
    QVariant image;
    ItemInfo details;
};
