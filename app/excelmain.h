#ifndef EXCELMAIN_H
#define EXCELMAIN_H

#include "aboutdialog.h"
#include "qthumbnailthread.h"
#include "subtext.h"
#include "tableextraction.h"
#include "tablefile.h"

#include <QImage>
#include <QMainWindow>
#include <QProcess>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

class DialogService;
class labeldraw;
class Process;
class QEvent;
class QMouseEvent;
class QNetworkAccessManager;
class QNetworkReply;
class QProgressDialog;
class QScrollArea;
class Ui_ExcelMain;

// The table-extraction main window: page list, page canvas, tool buttons and
// output table, and the per-page runs and table geometry of the document.
class ExcelMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit ExcelMain(QWidget *parent = nullptr);
    ~ExcelMain() override;

    // Modal dialogs and message boxes go through this; the toolkit's own by
    // default.
    void setDialogService(DialogService *service);
    DialogService *dialogService() const { return dialogs; }

    // Scaled-down pictures of page images for the page list, read small
    // rather than held at page size; a null image for an unreadable file.
    static QImage thumbnailImage(const QString &imagePath);
    static QVector<QImage> thumbnailImages(const QStringList &imagePaths);

    QThumbnailThread thumbnailThread;      // held, never started

    QString pdfPath;                       // PDF chosen last
    int pageCount;                         // pages of the document; 0 = none loaded
    QString currentPng;                    // page image shown on the canvas
    labeldraw *canvas;
    QScrollArea *scrollArea;
    float zoomFactor;                      // canvas pixels per page unit
    bool hoverListDivider;
    bool hoverTableDivider;
    bool dragListDivider;
    bool dragTableDivider;
    QProgressDialog *progressDialog;       // the import's busy dialog
    QVector<Alltext> pageRuns;             // text runs, index = page - 1
    QStringList htmlLines;                 // lines of the text layer parsed last
    QNetworkAccessManager *networkManager; // reads page text layers
    QNetworkReply *networkReply;           // the pending text-layer read
    int importCounter;                     // page whose text layer was asked for last
    QVector<QString> pageTexts;            // table text, index = page - 1
    QVector<QRectF> pageRects;             // table rectangle, page units
    QVector<QVector<QRectF> > pageLines;   // column lines, page units
    // The cells behind each page's table text: the file is written from
    // these, since a cell's own text may hold the cell separator.
    QVector<TableFile::PageRows> pageCells;

public slots:
    void generateInfo(QString pdfinput);
    void getPDFpage();
    void showPNG();
    void generatePNG(QString sPdfInput, int nPage, QString sPngfile);
    void pagechange();
    bool eventFilter(QObject *obj, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void closeProgressDia();
    void labeltoview();
    void viewchage();
    void Updateoutput();
    void getTextPosition(QString sxml);
    Subtext getSubtextInfo(QString sRow);
    int getpos(QString sPos, QString sRow);
    QString gettext(QString sRow);
    void gethtmlinfo();
    void generateALLtheInfo();
    void showabout();
    void setabout();
    void openexcel(QString excel);

private slots:
    void on_pushButton_openfile_clicked();
    void on_pushButton_zoomin_clicked();
    void on_pushButton_zoomout_clicked();
    void on_pushButton_down_clicked();
    void on_pushButton_up_clicked();
    void on_pushButton_drawline_clicked();
    void on_pushButton_drawrect_clicked();
    void on_pushButton_del_line_clicked();
    void on_pushButton_del_rect_clicked();
    void on_pushButton_save_clicked();
    void on_pushButton_clicked();
    // Shows the one replacement window, made on first use and kept.
    void on_pushButton_replace_clicked();

    void converterFinished(int exitCode, QProcess::ExitStatus status);
    void converterError(QProcess::ProcessError error);

private:
    // What an import replaces, kept until it has succeeded so a failed or
    // abandoned import can give the earlier document back.
    struct Previous
    {
        QString pdfPath;
        QString currentPng;
        QVector<Alltext> pageRuns;
        QVector<QString> pageTexts;
        QVector<QRectF> pageRects;
        QVector<QVector<QRectF> > pageLines;
        QVector<TableFile::PageRows> pageCells;
    };

    void setNavigationEnabled(bool enabled);
    void updateNavigationButtons(int page);
    // Shows page p (1-based) with its stored geometry and table.
    void showPage(int page);
    // Puts page p's stored geometry on the canvas, editable as if just
    // drawn, with the tool buttons showing the canvas's tool.
    void showStoredGeometry(int page);
    // Extracts page index i from geometry in page units; refills the output
    // table when `showTable`.
    void extractPage(int index, const QRectF &rect, const QVector<QRectF> &lines, bool showTable);
    void clearOutputTable();
    void resetToNoDocument();

    void stopImportWork();
    void failImport(const QString &message);
    void restorePrevious();
    QString stashFolder() const;

    Ui_ExcelMain *ui;
    DialogService *dialogs;
    QProcess *converter;
    Process *replaceWindow = nullptr;   // a top-level window of its own
    bool importActive;       // between starting the converter and the end of the chain
    QString importError;     // why the running import failed, for the warning box
    Previous previous;
    QSize pageImageSize;     // unscaled size of the page image on show
    // What the page change put on the canvas (canvas pixels) and for which
    // page. While the canvas still shows exactly that, the page's geometry
    // is its stored page-unit values: reading the truncated pixels back
    // would move its lines at every click.
    int shownPage = 0;
    QRectF shownCanvasRect;
    QVector<QRectF> shownCanvasLines;
    bool canvasShowsStoredPage(int page) const;
    void rememberShownCanvas(int page);
    // The shown page's geometry in page units, as the extraction takes it.
    // Once an edit has been read back, the canvas no longer stands for the
    // stored values, even if a later edit restores the same pixels.
    TableExtraction::Geometry currentGeometry(int page);

public:
    AboutDialog about;
};

#endif
