#pragma once
#include <QByteArray>
#include <QList>
#include <QRgb>
#include <QString>

#include <vector>

// The live log's lines, kept small: the lines of a run share most of their text with the line
// before (the time stamp, the watch's name, the phrase, the folder), so each line is kept as the
// length of that shared start and the rest, in UTF-8, in blocks of 64 lines that each begin with
// a whole line. At 100,000 event lines this holds about a tenth of their text.
class TLiveLogViewStore {
public:
    void append(QRgb colour, const QString& line);
    qsizetype size() const { return count_; }
    QString text(qsizetype line) const;
    QRgb colour(qsizetype line) const;
    void clear();
    // The bytes the lines take, for figures.
    qsizetype bytes() const;

private:
    static constexpr qsizetype kBlock = 64;

    // Per line: the colour's index, the length of the start it shares with the line before
    // (0 for a block's first line), the length of the rest, the rest; the numbers as varints.
    std::vector<QByteArray> blocks_;
    QByteArray last_;  // the last line whole, which the next line is compared with
    QList<QRgb> colours_;
    qsizetype count_ = 0;

    // The block read last, decoded: painting reads the lines of one or two blocks over and over.
    struct Decoded {
        qsizetype block = -1;
        std::vector<QString> texts;
        std::vector<quint8> colours;
    };
    mutable Decoded decoded_[2];
    mutable int nextSlot_ = 0;

    const Decoded& decode(qsizetype block) const;
    quint8 colourIndex(QRgb colour);
};
