#pragma once

#include <QCursor>
#include <QLabel>
#include <QPixmap>
#include <QWidget>

// A transparent control laid over a button painted on a skin. It shows no picture at rest, so the
// painted button shows through; a hover or press assigns it a picture (a lit or darker copy of
// the button) and a reset assigns the empty picture again. A drop-button box is the same control
// with a picture at rest.
//
// The hotspot itself never changes its picture: it reports hovered(), pressed() and clicked(),
// and its window decides, following its hover tables, which picture to assign.
class Hotspot : public QWidget
{
    Q_OBJECT

public:
    explicit Hotspot(QWidget* parent = nullptr, int index = -1);

    // Member index within a control array (toolbar, menu titles); -1 for a single control.
    int index() const { return m_index; }

    void setPicture(const QPixmap& picture);
    void clearPicture() { setPicture({}); }
    bool hasPicture() const { return !m_picture.isNull(); }
    // cacheKey() of the picture shown (0 when empty), so tests can tell which store it came from.
    qint64 pictureKey() const { return m_picture.isNull() ? 0 : m_picture.cacheKey(); }

signals:
    void hovered(int index);
    void pressed(int index);
    void clicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPixmap m_picture;
    int m_index;
    bool m_pressInside = false;
};

// A label that takes part in the hover feedback (its window makes it bold while lit) and can be
// clicked.
class HotLabel : public QLabel
{
    Q_OBJECT

public:
    explicit HotLabel(const QString& text, QWidget* parent = nullptr);

signals:
    void hovered();
    void clicked();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressInside = false;
};

// The pointer of the skinned windows' link-like hotspots: a 32 × 32 monochrome hand with the index
// finger up, its hot spot at the fingertip (6, 0).
QCursor HandCursor();
