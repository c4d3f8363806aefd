#pragma once
#include <QColor>
#include <QString>
#include <QWidget>

// A one-line transparent label drawn twice: first its shadow, shifted right and down, then
// the text. The text is shown exactly as given ("&" included).
class TShadowLabel : public QWidget {
    Q_OBJECT
public:
    explicit TShadowLabel(const QString& text = QString(), QWidget* parent = nullptr);

    QString Caption() const { return caption_; }
    void setCaption(const QString& text);

    Qt::Alignment Alignment() const { return alignment_; }
    void setAlignment(Qt::Alignment a);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString caption_;
    const QColor textColor_{0, 0, 128};
    const QColor shadowColor_{128, 128, 128};
    const int shadowOffset_ = 2;
    Qt::Alignment alignment_ = Qt::AlignHCenter | Qt::AlignTop;
};
