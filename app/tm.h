#ifndef TM_H
#define TM_H

#include <QString>

// One text rule by position, as the rule editor saves it.
class TexttoText
{
public:
    QString position;  // "P<page> (<left> <top> <width> <height>)"
    QString find;
    QString replace;
};

// One image rule by position, as the rule editor saves it. width and height
// are written by every save that counts the entry, so they start unset.
class TexttoImage
{
public:
    QString position;
    QString find;
    QString image;
    int width;
    int height;
};

// One row of the replacement window's text position table, handed to the editor.
class Textsome
{
public:
    QString position;
    QString find;
    QString replace;
};

// One row of the image position table; width and height stay cell text.
class Imagesome
{
public:
    QString position;
    QString find;
    QString image;
    QString width;
    QString height;
};

// The rule exchange record between the replacement window and the rule
// editor. The arrays are allocated once with their full capacity, so an
// exchange only assigns in place; every writer keeps its count <= capacity.
class TM
{
public:
    enum { capacity = 200 };

    TM();
    ~TM();
    TM(const TM &) = delete;
    TM &operator=(const TM &) = delete;

    // Left unset by the constructor; the creator sets all seven.
    int mode;          // 1 = texttoText filled by the last save, 2 = texttoImage
    int nTexttoText;
    int nTexttoImage;
    int inputKind;     // 1 = textsome handed over, 2 = imagesome
    int spare;
    int nTextsome;
    int nImagesome;

    TexttoText *texttoText;
    TexttoImage *texttoImage;
    Textsome *textsome;
    Imagesome *imagesome;

    QString spareText;
};

// The one exchange record; null until start-up creates it, never reset.
extern TM *tmf;

#endif
