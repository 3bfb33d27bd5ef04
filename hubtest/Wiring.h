#pragma once
// The small painted parts of the wiring picture: boards, screw terminals, wires,
// arrows and barriers. Each holds just the colour the tests change.
#include <QColor>
#include <QLine>
#include <QWidget>
#include <vector>

namespace hub {

// A board (hub or plug-in card): a flat coloured panel with fixed wiring lines.
class TBoard : public QWidget {
    Q_OBJECT
public:
    TBoard(QColor colour, QWidget* parent);
    void addLine(QLine l) { lines_.push_back(l); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor colour_;
    std::vector<QLine> lines_;
};

// A terminal panel holding the picture of a screw terminal.
class TTerminal : public QWidget {
    Q_OBJECT
public:
    explicit TTerminal(QWidget* parent);
    QColor colour() const { return colour_; }
    void setColour(QColor c);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor colour_;
};

// The caption panel under a terminal; an empty text draws the earth symbol.
class TCaption : public QWidget {
    Q_OBJECT
public:
    TCaption(const QString& text, QWidget* parent);
    QString text() const { return text_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString text_;
};

// A wire: a rectangle shape whose pen colour carries the state. Thin wires are
// all pen.
class TWire : public QWidget {
    Q_OBJECT
public:
    explicit TWire(QWidget* parent, QColor pen = Qt::black);
    QColor penColour() const { return pen_; }
    void setPenColour(QColor c);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor pen_;
};

// An arrow of the picture, drawn as a shape because the symbol font with the
// arrow characters is not there on every desktop.
class TArrow : public QWidget {
    Q_OBJECT
public:
    enum Direction { Down, Up }; // Down leaves the hub (output), Up enters it (input)
    TArrow(Direction d, QWidget* parent);
    Direction direction() const { return dir_; }
    QColor colour() const { return colour_; }
    void setColour(QColor c);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Direction dir_;
    QColor colour_;
};

// A barrier column, lying on its side.
class TBarPicture : public QWidget {
    Q_OBJECT
public:
    explicit TBarPicture(QWidget* parent);

protected:
    void paintEvent(QPaintEvent*) override;
};

// The maker's logo: shapes and two labels, no behaviour.
class TLogo : public QWidget {
    Q_OBJECT
public:
    explicit TLogo(QWidget* parent);

protected:
    void paintEvent(QPaintEvent*) override;
};

} // namespace hub
