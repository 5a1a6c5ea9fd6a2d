#include "excelmain.h"
#include "ui_excelmain.h"

#include "converterstop.h"
#include "dialogservice.h"
#include "labeldraw.h"
#include "pagefiles.h"
#include "pagezoom.h"
#include "process.h"
#include "tableextraction.h"
#include "textlayer.h"
#include "workbookexport.h"

#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QImageReader>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPixmap>
#include <QProgressDialog>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QUrl>

#include <atomic>
#include <thread>
#include <vector>

namespace {

const char *const settingsFile = "setting.ini";

// A trace in the log's item style: items separated by one blank, strings in
// double quotes (inner quotes left as they are), one blank after the last.
void trace(const QStringList &strings)
{
    QString line;
    for (const QString &s : strings)
        line += QLatin1Char('"') + s + QStringLiteral("\" ");
    qDebug().noquote() << line;
}

// The empty state of one page: no text, no rectangle, one zero line.
QVector<QRectF> emptyLines()
{
    return QVector<QRectF>(1, QRectF(0, 0, 0, 0));
}

} // namespace

ExcelMain::ExcelMain(QWidget *parent)
    : QMainWindow(parent),
      pageCount(0),
      canvas(nullptr),
      scrollArea(nullptr),
      zoomFactor(1.0f),
      hoverListDivider(false),
      hoverTableDivider(false),
      dragListDivider(false),
      dragTableDivider(false),
      progressDialog(nullptr),
      networkManager(nullptr),
      networkReply(nullptr),
      importCounter(0),
      ui(new Ui_ExcelMain),
      dialogs(DialogService::standard()),
      converter(nullptr),
      importActive(false),
      about()
{
    ui->setupUi(this);

    // Centre on the first screen.
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (!screens.isEmpty()) {
        const QRect s = screens.first()->geometry();
        const int cx = (s.left() + s.right()) / 2;
        const int cy = (s.top() + s.bottom()) / 2;
        move(cx - (width() - 1) / 2, cy - (height() - 1) / 2);
    }

    setabout();
    ui->pushButton_save->setEnabled(false);

    ui->pushButton_drawline->setToolTip(tr("Draw vertical lines"));
    ui->pushButton_drawrect->setToolTip(tr("Draw a table"));
    ui->pushButton_del_line->setToolTip(tr("Remove selected lines"));
    ui->pushButton_del_rect->setToolTip(tr("Remove the table"));
    ui->pushButton_replace->setToolTip(tr("Open the replacement window: replace text and pictures in PDF files by rules"));

    networkManager = new QNetworkAccessManager(this);
    progressDialog = new QProgressDialog(this);
    // A progress dialog shows itself after a while unless it is reset.
    progressDialog->reset();

    canvas = new labeldraw(ui->frame_back);
    QHBoxLayout *frameLayout = new QHBoxLayout;
    scrollArea = new QScrollArea;
    scrollArea->setWidgetResizable(true);
    scrollArea->setBackgroundRole(QPalette::Dark);
    scrollArea->setWidget(canvas);
    canvas->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    frameLayout->addWidget(scrollArea);
    ui->frame_back->setLayout(frameLayout);

    connect(canvas, &labeldraw::updateRecandLine, this, &ExcelMain::Updateoutput);

    QPalette pal = canvas->palette();
    pal.setBrush(QPalette::Window, QBrush(QColor(255, 255, 255, 255)));
    canvas->setPalette(pal);

    ui->listwidget_view->setFixedWidth(118);

    setMouseTracking(true);
    ui->centralwidget->setMouseTracking(true);

    connect(ui->spinBox_pagenumber, QOverload<int>::of(&QSpinBox::valueChanged),
            this, &ExcelMain::pagechange);

    // Nothing to navigate until a document is loaded.
    setNavigationEnabled(false);

    connect(ui->aboutpushButton, &QPushButton::clicked, this, &ExcelMain::showabout);
}

ExcelMain::~ExcelMain()
{
    stopImportWork();
    PageFiles::dropStash(stashFolder());
    delete replaceWindow;
    delete ui;
}

void ExcelMain::setDialogService(DialogService *service)
{
    dialogs = service ? service : DialogService::standard();
}

void ExcelMain::setabout()
{
    setWindowTitle(QStringLiteral("Korvane Gridmolt"));
    ui->aboutpushButton->setIcon(QIcon(QStringLiteral(":/iconoption/icons/about.png")));
    ui->aboutpushButton->setText(QStringLiteral("About"));
}

void ExcelMain::showabout()
{
    dialogs->exec(&about);
}

void ExcelMain::labeltoview()
{
}

bool ExcelMain::eventFilter(QObject *, QEvent *)
{
    return true;
}

// ---------------------------------------------------------------- pages

void ExcelMain::setNavigationEnabled(bool enabled)
{
    ui->spinBox_pagenumber->setEnabled(enabled);
    ui->pushButton_up->setEnabled(enabled);
    ui->pushButton_down->setEnabled(enabled);
    ui->pushButton_zoomin->setEnabled(enabled);
    ui->pushButton_zoomout->setEnabled(enabled);
    if (!enabled) {
        const QSignalBlocker block(ui->spinBox_pagenumber);
        ui->spinBox_pagenumber->setRange(0, 0);
        ui->spinBox_pagenumber->setValue(0);
    }
}

void ExcelMain::updateNavigationButtons(int page)
{
    ui->pushButton_down->setEnabled(page != pageCount);
    ui->pushButton_up->setEnabled(page != 1);
}

QImage ExcelMain::thumbnailImage(const QString &imagePath)
{
    QImageReader reader(imagePath);
    QSize size = reader.size();
    if (size.isValid()) {
        size.scale(90, 110, Qt::KeepAspectRatio);
        reader.setScaledSize(size.expandedTo(QSize(1, 1)));
    }
    return reader.read();
}

QVector<QImage> ExcelMain::thumbnailImages(const QStringList &imagePaths)
{
    // Decoding the page images is most of the list's set-up; images (not
    // pixmaps) may be made on any thread, so all cores share the pages.
    QVector<QImage> images(imagePaths.size());
    const int workers = int(qBound(1u, std::thread::hardware_concurrency(), 64u));
    std::atomic<int> next(0);
    auto work = [&] {
        for (int i = next++; i < imagePaths.size(); i = next++)
            images[i] = thumbnailImage(imagePaths.at(i));
    };
    std::vector<std::thread> threads;
    for (int t = 1; t < workers && t < imagePaths.size(); ++t)
        threads.emplace_back(work);
    work();
    for (std::thread &t : threads)
        t.join();
    return images;
}

void ExcelMain::showPNG()
{
    QPixmap pixmap(currentPng);
    if (pixmap.isNull())
        return;
    // A page far larger than the one the zoom was chosen on: fall back to a
    // factor at which it fits rather than building a giant pixmap.
    if (!PageZoom::zoomAllowed(pixmap.size(), zoomFactor))
        zoomFactor = PageZoom::fittingZoom(pixmap.size(), zoomFactor);
    const QSize target = PageZoom::scaledSize(pixmap.size(), zoomFactor);
    const QPixmap scaled = pixmap.scaled(target, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (scaled.isNull())
        return;
    pageImageSize = pixmap.size();
    QPalette pal = canvas->palette();
    pal.setBrush(QPalette::Window, QBrush(scaled));
    canvas->setPalette(pal);
    canvas->setFixedSize(target);
}

void ExcelMain::pagechange()
{
    const int p = ui->spinBox_pagenumber->value();
    if (importActive || pageCount <= 0 || p < 1 || p > pageCount)
        return;
    showPage(p);
}

void ExcelMain::viewchage()
{
    const int r = ui->listwidget_view->currentRow();
    if (importActive || pageCount <= 0 || r < 0 || r >= pageCount)
        return;
    {
        const QSignalBlocker block(ui->spinBox_pagenumber);
        ui->spinBox_pagenumber->setValue(r + 1);
    }
    showPage(r + 1);
}

void ExcelMain::showPage(int page)
{
    const int i = page - 1;
    updateNavigationButtons(page);
    {
        // Selecting the row from here must not count as a thumbnail click.
        const QSignalBlocker block(ui->listwidget_view);
        ui->listwidget_view->setCurrentRow(i);
    }
    currentPng = PageFiles::imagePath(PageFiles::tempFolder(), page);
    showPNG();

    // The stored page-unit geometry goes on the canvas, and the table is
    // extracted from those same stored values: reading the truncated canvas
    // pixels back would let the lines drift at every visit.
    showStoredGeometry(page);
    extractPage(i, pageRects.value(i), pageLines.value(i, emptyLines()), true);
}

void ExcelMain::showStoredGeometry(int page)
{
    const int i = page - 1;
    canvas->showPageTable(PageZoom::rectToCanvas(pageRects.value(i), zoomFactor),
                          PageZoom::linesToCanvas(pageLines.value(i, emptyLines()), zoomFactor),
                          ui->pushButton_drawline->isChecked());
    // The pressed button always names the tool the canvas is in.
    ui->pushButton_drawrect->setChecked(canvas->mode == 1);
    ui->pushButton_drawline->setChecked(canvas->mode == 2);
    rememberShownCanvas(page);
}

void ExcelMain::rememberShownCanvas(int page)
{
    shownPage = page;
    shownCanvasRect = canvas->returnRec();
    shownCanvasLines = canvas->returnLine();
}

bool ExcelMain::canvasShowsStoredPage(int page) const
{
    return page == shownPage && page >= 1 && page <= pageRects.size()
           && page <= pageLines.size() && canvas->returnRec() == shownCanvasRect
           && canvas->returnLine() == shownCanvasLines;
}

TableExtraction::Geometry ExcelMain::currentGeometry(int page)
{
    if (canvasShowsStoredPage(page)) {
        TableExtraction::Geometry g;
        g.rect = pageRects.at(page - 1);
        g.lines = pageLines.at(page - 1);
        g.empty = g.rect.width() == 0 || g.rect.height() == 0;
        if (g.empty)
            g = TableExtraction::emptyGeometry();
        return g;
    }
    // A user's edit: canvas pixels back to page units.
    shownPage = 0;
    return TableExtraction::toPageUnits(canvas->returnRec().normalized(), canvas->returnLine(),
                                        zoomFactor);
}

void ExcelMain::on_pushButton_up_clicked()
{
    if (pageCount > 0)
        ui->spinBox_pagenumber->setValue(ui->spinBox_pagenumber->value() - 1);
}

void ExcelMain::on_pushButton_down_clicked()
{
    if (pageCount > 0)
        ui->spinBox_pagenumber->setValue(ui->spinBox_pagenumber->value() + 1);
}

// ---------------------------------------------------------------- extraction

void ExcelMain::clearOutputTable()
{
    // All rows at once: removing thousands one by one costs more than the
    // extraction itself.
    ui->tableWidget_rule->setRowCount(0);
}

void ExcelMain::extractPage(int index, const QRectF &rect, const QVector<QRectF> &lines,
                            bool showTable)
{
    // While an import reads pages the stores belong to the new document.
    if (importActive || index < 0 || index >= pageCount || index >= pageTexts.size()
        || index >= pageRects.size() || index >= pageLines.size() || index >= pageCells.size())
        return;
    const TableExtraction::Result result =
        TableExtraction::extract(pageRuns.value(index), rect, lines);
    pageRects[index] = result.rect;
    pageLines[index] = result.lines;
    pageTexts[index] = result.text;
    pageCells[index] = result.rows;
    if (!showTable)
        return;

    QTableWidget *table = ui->tableWidget_rule;
    clearOutputTable();
    if (result.emptyGeometry)
        return;
    table->setRowCount(result.rows.size());
    table->setColumnCount(result.columnCount);
    for (int r = 0; r < result.rows.size(); ++r) {
        const QStringList &cells = result.rows.at(r);
        for (int c = 0; c < cells.size() && c < result.columnCount; ++c)
            table->setItem(r, c, new QTableWidgetItem(cells.at(c)));
    }
}

void ExcelMain::Updateoutput()
{
    if (importActive || pageCount <= 0)
        return;
    const int p = ui->spinBox_pagenumber->value();
    if (p < 1 || p > pageCount)
        return;
    const TableExtraction::Geometry g = currentGeometry(p);
    extractPage(p - 1, g.rect, g.lines, true);
}

void ExcelMain::on_pushButton_clicked()
{
    if (importActive || pageCount <= 0)
        return;
    const TableExtraction::Geometry g = currentGeometry(ui->spinBox_pagenumber->value());
    // An empty rectangle applied to all pages leaves every page without a
    // table, and the output table empty like the page on show.
    if (g.empty)
        clearOutputTable();
    for (int i = 0; i < pageCount; ++i)
        extractPage(i, g.rect, g.lines, false);
    // The page on show now holds what was applied; the canvas shows it as
    // its stored table, so the next edit starts from there.
    showStoredGeometry(ui->spinBox_pagenumber->value());
}

void ExcelMain::on_pushButton_save_clicked()
{
    if (importActive || pageCount <= 0)
        return;
    QString start;
    {
        QSettings settings(QString::fromLatin1(settingsFile), QSettings::IniFormat);
        start = settings.value(QStringLiteral("output/output"), QStringLiteral(".")).toString();
    }
    QString filter;
    const QString chosen = dialogs->getSaveFileName(
        this, tr("Save File"), start, tr("CSV File (*.csv);;Excel File (*.xls);;All Files (*.*)"),
        &filter);
    if (chosen.isEmpty())
        return;
    const TableFile::Target target = TableFile::saveTarget(chosen, filter);
    const QString &path = target.path;
    {
        QSettings settings(QString::fromLatin1(settingsFile), QSettings::IniFormat);
        settings.setValue(QStringLiteral("output/output"), path);
    }

    TableFile::SaveResult result;
    if (target.textFile) {
        result = TableFile::save(path, pageCells);
    } else {
        const WorkbookExport::Result written = WorkbookExport::save(path, pageCells);
        result = written.save;
        // What the file lacks is told before it is offered for opening.
        const QString lacking = written.warning();
        if (result.ok && !lacking.isEmpty())
            dialogs->warning(this, tr("Save File"), lacking);
    }
    // A failed save is reported as such, never as finished.
    if (!result.ok) {
        dialogs->warning(this, tr("Save File"), result.message());
        return;
    }
    const QMessageBox::StandardButton answer = dialogs->information(
        this, tr("Finished"), tr("Open the ") + path + QStringLiteral("?"),
        QMessageBox::Ok | QMessageBox::Cancel);
    if (answer == QMessageBox::Ok)
        openexcel(path);
}

void ExcelMain::openexcel(QString excel)
{
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(excel)))
        dialogs->warning(this, tr("Open"),
                         tr("No application could open %1.").arg(QDir::toNativeSeparators(excel)));
}

// ---------------------------------------------------------------- zoom and tools

void ExcelMain::on_pushButton_zoomout_clicked()
{
    const float next = PageZoom::enlarged(zoomFactor);
    if (!PageZoom::zoomAllowed(pageImageSize, next))
        return;
    const bool untouched = canvasShowsStoredPage(shownPage);
    zoomFactor = next;
    showPNG();
    canvas->zoomin();
    // Still the page's own geometry, only drawn larger or smaller.
    if (untouched)
        rememberShownCanvas(shownPage);
}

void ExcelMain::on_pushButton_zoomin_clicked()
{
    const float next = PageZoom::shrunk(zoomFactor);
    if (!PageZoom::zoomAllowed(pageImageSize, next))
        return;
    const bool untouched = canvasShowsStoredPage(shownPage);
    zoomFactor = next;
    showPNG();
    canvas->zoomout();
    // Still the page's own geometry, only drawn larger or smaller.
    if (untouched)
        rememberShownCanvas(shownPage);
}

void ExcelMain::on_pushButton_drawrect_clicked()
{
    if (ui->pushButton_drawrect->isChecked()) {
        canvas->drawrect();
        ui->pushButton_drawline->setChecked(false);
    }
}

void ExcelMain::on_pushButton_drawline_clicked()
{
    if (ui->pushButton_drawline->isChecked()) {
        canvas->drawline();
        ui->pushButton_drawrect->setChecked(false);
    } else {
        canvas->drawrect();
    }
}

void ExcelMain::on_pushButton_del_rect_clicked()
{
    ui->pushButton_drawline->setChecked(false);
    ui->pushButton_drawrect->setChecked(false);
    canvas->delrec();
}

void ExcelMain::on_pushButton_del_line_clicked()
{
    canvas->delline();
}

// ---------------------------------------------------------------- dividers

void ExcelMain::mouseMoveEvent(QMouseEvent *event)
{
    const int x = event->pos().x();
    const int y = event->pos().y();
    const QRect list = ui->listwidget_view->geometry();
    const QRect frame = ui->frame_back->geometry();

    if (dragListDivider) {
        int desktopWidth = 0;
        if (QScreen *screen = QGuiApplication::primaryScreen())
            desktopWidth = screen->virtualGeometry().width();
        if (x > desktopWidth - 576)
            return;
        ui->listwidget_view->setFixedWidth(qMax(0, x - list.x()));
        return;
    }
    if (dragTableDivider)
        ui->tableWidget_rule->setFixedHeight(qMax(0, height() - y - 20));

    const int listRight = list.x() + list.width();
    if (listRight + 2 < x && x < listRight + 8 && y > list.y()) {
        hoverListDivider = true;
        setCursor(Qt::SplitHCursor);
        return;
    }
    hoverListDivider = false;
    setCursor(Qt::ArrowCursor);
    const int frameBottom = frame.y() + frame.height();
    if (frameBottom + 2 < y && y < frameBottom + 8 && x > frame.x()) {
        hoverTableDivider = true;
        setCursor(Qt::SplitVCursor);
    } else {
        hoverTableDivider = false;
        setCursor(Qt::ArrowCursor);
    }
}

void ExcelMain::mousePressEvent(QMouseEvent *event)
{
    const bool left = event->button() == Qt::LeftButton;
    dragListDivider = hoverListDivider && left;
    dragTableDivider = hoverTableDivider && left;
}

void ExcelMain::mouseReleaseEvent(QMouseEvent *)
{
    dragListDivider = false;
    dragTableDivider = false;
}

// ---------------------------------------------------------------- text layers

int ExcelMain::getpos(QString sPos, QString sRow)
{
    return TextLayer::getpos(sPos, sRow);
}

QString ExcelMain::gettext(QString sRow)
{
    return TextLayer::gettext(sRow);
}

Subtext ExcelMain::getSubtextInfo(QString sRow)
{
    return TextLayer::getSubtextInfo(sRow);
}

void ExcelMain::getTextPosition(QString sxml)
{
    htmlLines = TextLayer::splitLines(sxml);
    // Only an import adds pages; outside one the stores keep their size.
    if (!importActive)
        return;
    pageRuns.append(TextLayer::parseText(sxml));
    generateALLtheInfo();
}

void ExcelMain::gethtmlinfo()
{
    QNetworkReply *reply = networkReply;
    networkReply = nullptr;
    if (!reply)
        return;
    reply->deleteLater();
    if (!importActive)
        return;
    getTextPosition(TextLayer::decodePage(reply->readAll()));
}

// ---------------------------------------------------------------- import

QString ExcelMain::stashFolder() const
{
    return PageFiles::tempFolder() + QStringLiteral("/gridmolt-previous-pages");
}

void ExcelMain::on_pushButton_openfile_clicked()
{
    if (importActive)
        return;
    const QString temp = PageFiles::tempFolder();
    if (temp.isEmpty()) {
        dialogs->warning(this, tr("Open"),
                         tr("No private temporary folder could be made in %1, so no document "
                            "can be opened.")
                             .arg(QDir::toNativeSeparators(QDir::tempPath())));
        return;
    }

    QString startDir;
    {
        QSettings settings(QString::fromLatin1(settingsFile), QSettings::IniFormat);
        startDir = settings.value(QStringLiteral("dir/input"), QStringLiteral(".")).toString();
    }
    const QString path = dialogs->getOpenFileName(this, tr("Add File"), startDir,
                                                  tr("PDF File(*.pdf);;ALL files(*.*)"));
    // Cancelled: the loaded document stays as it is.
    if (path.isEmpty())
        return;

    {
        QSettings settings(QString::fromLatin1(settingsFile), QSettings::IniFormat);
        settings.setValue(QStringLiteral("dir/input"), QFileInfo(path).absolutePath());
    }

    // Keep the earlier document aside until the new one has been read.
    previous.pdfPath = pdfPath;
    previous.currentPng = currentPng;
    previous.pageRuns.swap(pageRuns);
    previous.pageTexts.swap(pageTexts);
    previous.pageRects.swap(pageRects);
    previous.pageLines.swap(pageLines);
    previous.pageCells.swap(pageCells);
    pageRuns.clear();
    pageTexts.clear();
    pageRects.clear();
    pageLines.clear();
    pageCells.clear();
    PageFiles::stashPageFiles(temp, stashFolder());

    pdfPath = path;
    const QString program = QDir::currentPath() + QStringLiteral("/rendrix");
    const QString output = temp + QStringLiteral("/text.xml");
    const QString commandLine = QStringLiteral("\"%1\" -htmlformat \"%2\"  \"%3\"")
                                    .arg(program, path, output);
    currentPng = PageFiles::imagePath(temp, 1);

    progressDialog->reset();
    progressDialog->setLabelText(QStringLiteral("Loading ") + path + QStringLiteral("..."));
    progressDialog->setRange(0, 0);
    progressDialog->setCancelButton(nullptr);
    progressDialog->setWindowModality(Qt::WindowModal);

    trace(QStringList() << QStringLiteral("PNG FILE CMD") << commandLine);

    importCounter = 0;
    importError.clear();
    importActive = true;
    converter = new QProcess(this);
    connect(converter, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
            this, &ExcelMain::converterFinished);
    connect(converter, &QProcess::errorOccurred, this, &ExcelMain::converterError);
    // Program and arguments apart: any character in the path is safe.
    converter->start(program, QStringList() << QStringLiteral("-htmlformat") << path << output,
                     QIODevice::ReadWrite);

    if (importActive)
        dialogs->exec(progressDialog);

    if (importActive) {
        // The busy dialog was closed by the user: stop everything and give
        // the earlier document back.
        stopImportWork();
        importActive = false;
        importCounter = 0;
        restorePrevious();
        return;
    }
    if (!importError.isEmpty()) {
        restorePrevious();
        const QString message = importError;
        importError.clear();
        dialogs->warning(this, tr("Open"), message);
    }
}

void ExcelMain::converterError(QProcess::ProcessError error)
{
    if (!importActive || sender() != converter)
        return;
    if (error == QProcess::FailedToStart)
        failImport(tr("The converter %1 could not be started, so %2 was not opened.")
                       .arg(QDir::toNativeSeparators(converter->program()),
                            QDir::toNativeSeparators(pdfPath)));
}

void ExcelMain::converterFinished(int exitCode, QProcess::ExitStatus status)
{
    if (!importActive || sender() != converter)
        return;
    QProcess *done = converter;
    converter = nullptr;
    done->deleteLater();
    if (status != QProcess::NormalExit) {
        failImport(tr("The converter stopped unexpectedly while reading %1.")
                       .arg(QDir::toNativeSeparators(pdfPath)));
        return;
    }
    if (exitCode != 0) {
        QString detail = QString::fromUtf8(done->readAllStandardError()).trimmed();
        if (detail.size() > 2000)
            detail = detail.left(2000) + QStringLiteral("...");
        QString message = tr("%1 could not be opened.").arg(QDir::toNativeSeparators(pdfPath));
        if (!detail.isEmpty())
            message += QStringLiteral("\n\n") + detail;
        failImport(message);
        return;
    }
    generateALLtheInfo();
}

void ExcelMain::generateALLtheInfo()
{
    if (!importActive)
        return;
    ++importCounter;
    const QString f = PageFiles::textPath(PageFiles::tempFolder(), importCounter);
    // Pages past the last one that can be shown are not read at all.
    if (importCounter <= PageFiles::maxPages && QFile::exists(f)) {
        networkReply = networkManager->get(QNetworkRequest(QUrl::fromLocalFile(f)));
        connect(networkReply, &QNetworkReply::finished, this, &ExcelMain::gethtmlinfo);
        return;
    }
    importCounter = 0;
    closeProgressDia();
}

void ExcelMain::closeProgressDia()
{
    if (!importActive)
        return;
    importActive = false;
    progressDialog->done(QDialog::Accepted);

    const QString temp = PageFiles::tempFolder();
    const int count = PageFiles::countPages(temp);
    if (count == 0) {
        // The converter left nothing to show: no document rather than an
        // earlier one whose files are gone.
        PageFiles::dropStash(stashFolder());
        previous = Previous();
        const QString path = pdfPath;
        resetToNoDocument();
        importError = tr("No page could be read from %1.").arg(QDir::toNativeSeparators(path));
        return;
    }
    PageFiles::dropStash(stashFolder());
    previous = Previous();

    pageCount = count;
    // One record per page, whatever number of text layers was read.
    pageRuns.resize(count);
    pageTexts = QVector<QString>(count);
    pageRects = QVector<QRectF>(count, QRectF(0, 0, 0, 0));
    pageLines = QVector<QVector<QRectF> >(count, emptyLines());
    pageCells = QVector<TableFile::PageRows>(count);

    ui->listwidget_view->clear();
    QStringList images;
    images.reserve(count);
    for (int n = 1; n <= count; ++n)
        images.append(PageFiles::imagePath(temp, n));
    const QVector<QImage> thumbnails = thumbnailImages(images);
    for (int n = 1; n <= count; ++n) {
        const QImage &image = thumbnails.at(n - 1);
        ui->listwidget_view->addItem(new QListWidgetItem(
            image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image)), QString::number(n)));
    }
    connect(ui->listwidget_view, &QListWidget::clicked, this, &ExcelMain::viewchage,
            Qt::UniqueConnection);

    ui->label_pagenumber->setText(QStringLiteral("/") + QString::number(count));
    setNavigationEnabled(true);
    ui->pushButton_save->setEnabled(true);
    {
        const QSignalBlocker block(ui->spinBox_pagenumber);
        ui->spinBox_pagenumber->setRange(1, count);
        ui->spinBox_pagenumber->setValue(1);
    }
    // Always shown afresh, even when the spin box already stood at 1.
    showPage(1);

    if (QFile::exists(PageFiles::imagePath(temp, PageFiles::maxPages + 1)))
        dialogs->information(this, tr("Open"),
                             tr("%1 has more than %2 pages; only the first %2 were loaded.")
                                 .arg(QDir::toNativeSeparators(pdfPath))
                                 .arg(PageFiles::maxPages));
}

void ExcelMain::resetToNoDocument()
{
    pageCount = 0;
    shownPage = 0;
    pdfPath.clear();
    currentPng.clear();
    pageRuns.clear();
    pageTexts.clear();
    pageRects.clear();
    pageLines.clear();
    pageCells.clear();
    pageImageSize = QSize();
    ui->listwidget_view->clear();
    ui->label_pagenumber->clear();
    clearOutputTable();
    setNavigationEnabled(false);
    ui->pushButton_save->setEnabled(false);
    {
        const QSignalBlocker block(canvas);
        canvas->delrec();
    }
    // As after removing the table: the line tool is no longer shown pressed.
    ui->pushButton_drawline->setChecked(false);
    ui->pushButton_drawrect->setChecked(false);
    QPalette pal = canvas->palette();
    pal.setBrush(QPalette::Window, QBrush(QColor(255, 255, 255, 255)));
    canvas->setPalette(pal);
}

void ExcelMain::failImport(const QString &message)
{
    stopImportWork();
    importActive = false;
    importCounter = 0;
    importError = message;
    progressDialog->done(QDialog::Rejected);
}

void ExcelMain::stopImportWork()
{
    if (networkReply) {
        QNetworkReply *reply = networkReply;
        networkReply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    if (converter) {
        QProcess *process = converter;
        converter = nullptr;
        process->disconnect(this);
        // The converter writes its pages as "text" in the temporary folder.
        ConverterStop::end(process, PageFiles::tempFolder(), QStringLiteral("text"));
        process->deleteLater();
    }
}

void ExcelMain::restorePrevious()
{
    PageFiles::restoreStash(stashFolder(), PageFiles::tempFolder());
    pdfPath = previous.pdfPath;
    currentPng = previous.currentPng;
    pageRuns.swap(previous.pageRuns);
    pageTexts.swap(previous.pageTexts);
    pageRects.swap(previous.pageRects);
    pageLines.swap(previous.pageLines);
    pageCells.swap(previous.pageCells);
    previous = Previous();
}

// ---------------------------------------------------------------- dormant loading road

void ExcelMain::generateInfo(QString pdfinput)
{
    const QString app = QDir::currentPath();
    const QString program = app + QStringLiteral("/Pavlin.dll");
    const QString info = app + QStringLiteral("/fileinfo.txt");
    trace(QStringList()
                             << QStringLiteral("\"%1\" \"%2\" -getinfo -outfile \"%3\"")
                                    .arg(program, pdfinput, info)
                             << QStringLiteral("\n"));
    QProcess *process = new QProcess(this);
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this, process](int, QProcess::ExitStatus) {
                process->deleteLater();
                getPDFpage();
            });
    connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            process->deleteLater();
    });
    process->start(program, QStringList() << pdfinput << QStringLiteral("-getinfo")
                                          << QStringLiteral("-outfile") << info);
}

void ExcelMain::getPDFpage()
{
    const QString info = QDir::currentPath() + QStringLiteral("/fileinfo.txt");
    trace(QStringList() << QStringLiteral("Information file is:") << info
                                       << QStringLiteral("\n"));
    QFile file(info);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        trace(QStringList() << QStringLiteral("No information file."));
        ui->label_pagenumber->setText(QStringLiteral("/"));
        ui->spinBox_pagenumber->setMaximum(0);
        pageCount = 0;
        return;
    }
    const QString text = QString::fromUtf8(file.readAll());
    file.close();
    file.remove();
    const QString key = QStringLiteral("NumberOfPages: ");
    const int at = text.indexOf(key);
    int pos = at >= 0 ? at + key.size() : 14;
    QString digits;
    while (pos < text.size() && text.at(pos) >= QLatin1Char('0') && text.at(pos) <= QLatin1Char('9'))
        digits += text.at(pos++);
    // This road sets up no per-page stores, so it never claims pages; digits
    // beyond the range of an int count as 0.
    trace(QStringList() << QString::asprintf("Page number is:%d.\n", digits.toInt()));
    ui->label_pagenumber->setText(QStringLiteral("/") + digits);
    currentPng = PageFiles::imagePath(PageFiles::tempFolder(), 1);
    generatePNG(pdfPath, 1, PageFiles::tempFolder() + QStringLiteral("/text.png"));
}

void ExcelMain::generatePNG(QString sPdfInput, int nPage, QString sPngfile)
{
    const QString program = QDir::currentPath() + QStringLiteral("/Dorcet.dll");
    QStringList args;
    args << sPdfInput << QStringLiteral("-ht") << sPngfile;
    QString commandLine = QStringLiteral("\"%1\" \"%2\" -ht \"%3\"").arg(program, sPdfInput, sPngfile);
    if (nPage != 0) {
        args << QStringLiteral("-f") << QString::number(nPage) << QStringLiteral("-l")
             << QString::number(nPage);
        commandLine += QStringLiteral(" -f %1 -l %1").arg(nPage);
    }
    trace(QStringList() << QStringLiteral("PNG FILE CMD") << commandLine);
    QProcess *process = new QProcess(this);
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this, process](int, QProcess::ExitStatus) {
                process->deleteLater();
                showPNG();
            });
    connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            process->deleteLater();
    });
    process->start(program, args);
}

void ExcelMain::on_pushButton_replace_clicked()
{
    if (!replaceWindow) {
        replaceWindow = new Process;
        replaceWindow->setDialogService(dialogs);
    }
    replaceWindow->setWindowState(replaceWindow->windowState() & ~Qt::WindowMinimized);
    replaceWindow->show();
    replaceWindow->raise();
    replaceWindow->activateWindow();
}
