// The rule editor's work once a page is rendered: parsing the text layer and
// laying one frame per run (3,000 runs is a dense page; 12,000 must stay
// usable), and a zoom step, which rescales the page and moves every frame.
// A stand-in renderer copies a prepared page into place, so only the
// editor's own work is timed.

#include "rules.h"
#include "textlayer.h"
#include "tm.h"
#include "../tests/app/scripteddialogs.h"

#include "benchapplication.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

namespace
{
void ensureEditorApplication()
{
    ensureApplication<QApplication>();
    static TM record;
    record.mode = record.nTexttoText = record.nTexttoImage = 0;
    record.inputKind = record.spare = record.nTextsome = record.nImagesome = 0;
    tmf = &record;
}

// A letter-size page's text layer of `runs` words in rows of 30.
QByteArray textLayer(int runs)
{
    QByteArray layer;
    for (int i = 0; i < runs; ++i) {
        layer += QStringLiteral("<span style=\"left:%1;top:%2;width:17;height:7;\">w%3</span>\n")
                     .arg(10 + i % 30 * 19)
                     .arg(10 + i / 30 * 7 % 770)
                     .arg(i)
                     .toUtf8();
    }
    return layer;
}

int frameCount(Rules &editor)
{
    return editor.findChild<QLabel *>(QStringLiteral("pageLabel"))
               ->findChildren<QPushButton *>(QString(), Qt::FindDirectChildrenOnly)
               .size()
           - 1;
}

void BM_FramesAfterTextLayer(benchmark::State &state)
{
    ensureEditorApplication();
    const QByteArray layer = textLayer(int(state.range(0)));
    Rules editor;
    // Shown, so that polishing and painting the frames count as well.
    editor.show();
    for (auto _ : state) {
        editor.getTextPosition(TextLayer::decodePage(layer));
        editor.drawlabels();
        QCoreApplication::processEvents();
    }
    if (frameCount(editor) != state.range(0))
        state.SkipWithError("wrong number of frames");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FramesAfterTextLayer)->Arg(3000)->Arg(12000)->Unit(benchmark::kMillisecond);

void BM_ZoomStep(benchmark::State &state)
{
    ensureEditorApplication();
    const int runs = int(state.range(0));
    QTemporaryDir prepared;
    QImage page(612, 792, QImage::Format_RGB32);
    page.fill(Qt::white);
    QFile layer(prepared.filePath(QStringLiteral("page.htm")));
    QFile script(QDir::currentPath() + QStringLiteral("/Dorcet.dll"));
    if (!page.save(prepared.filePath(QStringLiteral("page.png"))) || !layer.open(QIODevice::WriteOnly)
        || layer.write(textLayer(runs)) < 0 || !script.open(QIODevice::WriteOnly)) {
        state.SkipWithError("cannot prepare the page");
        return;
    }
    layer.close();
    script.write(QStringLiteral("#!/bin/sh\nd=$(dirname \"$3\")\ncp '%1/page.png' \"$d/text_pg_0001.png\"\n"
                                "cp '%1/page.htm' \"$d/text_pg_0001.htm\"\n")
                     .arg(prepared.path())
                     .toUtf8());
    script.close();
    script.setPermissions(script.permissions() | QFile::ExeOwner);
    {
        QSettings settings(QStringLiteral("setting.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("file/file"), layer.fileName());
        settings.setValue(QStringLiteral("file/page"), QStringLiteral("1"));
    }

    ScriptedDialogs dialogs;
    Rules editor;
    editor.setDialogService(&dialogs);
    editor.setIniImage();
    QEventLoop wait;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &wait, [&] {
        if (frameCount(editor) == runs || !dialogs.boxes.isEmpty())
            wait.quit();
    });
    poll.start(1);
    wait.exec();
    if (frameCount(editor) != runs) {
        state.SkipWithError("the page was not shown");
        return;
    }
    editor.show();
    bool larger = true;
    for (auto _ : state) {
        if (larger)
            editor.setZoomout();
        else
            editor.setZoomin();
        larger = !larger;
        QCoreApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * runs);
}
BENCHMARK(BM_ZoomStep)->Arg(3000)->Arg(12000)->Unit(benchmark::kMillisecond);
} // namespace
