#ifndef RULES_H
#define RULES_H

#include "subtext.h"

#include <QDialog>
#include <QPixmap>
#include <QString>
#include <QVector>

class DialogService;
class QButtonGroup;
class QLabel;
class QMouseEvent;
class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class QScrollArea;
class QWheelEvent;
class Ui_Rules;

// The rule editor: renders one page of the first listed PDF, lays a frame over
// every text run, turns picked runs into text or image rules by position and
// saves them into the rule file and the exchange record (tmf). The
// replacement window makes one, without parent, and opens it with
// setIniImage() followed by exec().
class Rules : public QDialog
{
    Q_OBJECT

public:
    explicit Rules(QWidget *parent = nullptr);
    ~Rules() override;

    // Modal dialogs and message boxes go through this; the toolkit's own by
    // default.
    void setDialogService(DialogService *service);

    // The folder inside the temporary folder that the editor renders its page
    // into, so its page files never replace the main window's.
    static QString renderFolder();

public slots:
    void gethtmlinfo();
    void getTextPosition(QString sxml);
    Subtext getSubtextInfo(QString sRow);
    int getpos(QString sPos, QString sRow);
    QString gettext(QString sRow);
    void drawlabels();
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void setZoomout();
    void setZoomin();
    void textmessagebox();
    void getSpecifytext();
    void addtorules();
    void generatePNGfile(QString pdffile, int page, QString pngfile);
    void setIniImage();
    void setPageChange();
    void setsave();
    void setpageup();
    void setpagedown();
    void setupdownVis();
    void removerule();
    void removeimagerule();
    void setopenimage();
    void setradiotext();
    void setradioimage();
    void setinirule();

protected:
    void wheelEvent(QWheelEvent *event) override;

private:
    void setframeImage();
    void showScaledPage();
    // Deletes the run frames, forgets their runs and any pending text-layer
    // read, and hides the add button (which lives as long as the dialog, so
    // no pointer to it ever dangles).
    void deleteFrames();
    void dropReply();
    // Shows no page at all: no image, no frames.
    void clearView();
    // Places frame i over run i at the current zoom.
    void layFrame(int i);
    void zoomTo(float newZoom);
    // The page count as label_pagenumber shows it; 0 when it shows none.
    int pageCount() const;
    void addTextRow(const QString &key, const QString &find, const QString &replace);
    int addImageRow(const QString &key, const QString &find, const QString &image,
                    const QString &width, const QString &height);
    // The exchange record holds TM::capacity rules of a kind; a larger
    // table is refused with a message rather than cut short.
    bool fitsRecord(int rows);
    // Replaces a rule file whole; a failure is shown and nothing is kept.
    bool writeRules(const QString &path, const QString &lines);
    bool saveText();
    bool saveImage();

    float zoom;
    QNetworkAccessManager *manager;
    QNetworkReply *reply;             // the latest text-layer read; null when none is pending
    QVector<Subtext> runs;            // runs of the page shown; grows with the page
    Subtext picked;
    QScrollArea *scrollArea;
    QLabel *pageLabel;
    QPushButton *addButton;
    QPixmap pagePixmap;               // the page image at its own size
    float pageW;
    float pageH;
    QString pdfPath;
    QString pngPath;
    QVector<QPushButton *> runButtons; // frame i stands over runs[i]
    QString lastFile;
    Ui_Rules *ui;
    QButtonGroup *radioGroup;
    DialogService *dialogs;
};

#endif
