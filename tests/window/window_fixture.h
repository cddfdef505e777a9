// The main window's tests share this fixture: a window on the staged plug-ins and the null sound
// device, with its settings in the test's folder, and helpers that drive its controls.
#pragma once

#include "host/window/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QThread>
#include <QTreeView>
#include <QWindow>
#include <thread>

#include "adx_builder.h"
#include "afs_builder.h"
#include "byte_writer.h"
#include "host/app/ini_file.h"
#include "host/playback/play_engine.h"
#include "host/playback/sound_output.h"
#include "host/window/control_factory.h"
#include "host/window/dialog_template.h"
#include "host/window/open_filter.h"
#include "scripted_dialogs.h"
#include "test_files.h"

namespace fogbell::window {

using fogbell::test::AfsBuilder;
using fogbell::test::Bytes;
using fogbell::test::Pattern;

// Runs the window thread's queue until it is empty.
inline void Drain() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

class Window : public ::testing::Test {
  protected:
    void SetUp() override { std::filesystem::create_directory(dir.File("out")); }

    // A window on the staged plug-ins with its settings in the test's folder, playing on the
    // null sound device at eight times real time.
    void Open(bool show = true) {
        SoundOutputOptions sound;
        sound.kind = SoundOutputOptions::Kind::kNull;
        sound.speed = 8.0;
        ASSERT_TRUE(TryOpen(sound));
        if (show) {
            window->show();
        }
    }

    // The same with this sound output; false when the window could not start.
    bool TryOpen(const SoundOutputOptions& sound) {
        WindowSetup setup;
        setup.paths.settingsFile = dir.File("ini.ini");
        setup.paths.decoderDirectory = std::string(FOGBELL_STAGE_DIR) + "/decode_plugins";
        setup.paths.explorerDirectory = std::string(FOGBELL_STAGE_DIR) + "/explore_plugins";
        setup.pictureFile = QString::fromStdString(dir.File("pic.jpg"));
        setup.makePlayback = [sound]() { return std::make_unique<PlayEngine>(sound); };
        setup.dialogs = std::make_unique<test::ScriptedDialogs>(script);
        window = std::make_unique<MainWindow>(std::move(setup));
        return window->Initialize();
    }

    std::string Save(const Bytes& bytes, const std::string& name) {
        fogbell::test::WriteFile(dir.File(name), bytes);
        return dir.File(name);
    }

    // disk.afs holds inner.afs (which holds song.bin) and a plain member.
    std::string NestedArchive() {
        const Bytes inner = AfsBuilder().Add("song.bin", Pattern(40, 7)).Build().bytes;
        return Save(
            AfsBuilder().Add("inner.afs", inner).Add("bgm01.bin", Pattern(100, 1)).Build().bytes,
            "disk.afs");
    }

    // An archive with a long ADX track (20 seconds) and a short one.
    std::string PlayableArchive() {
        fogbell::test::AdxOptions options;
        options.channels = 2;
        options.totalSamples = 32 * 27000;
        const Bytes longTrack =
            fogbell::test::BuildAdx(options, fogbell::test::AdxFrames(27000, 2, 4), true);
        return Save(
            AfsBuilder().Add("long.adx", longTrack).Add("x.bin", Pattern(8, 2)).Build().bytes,
            "music.afs");
    }

    std::string AdxFile() {
        fogbell::test::AdxOptions options;
        options.channels = 2;
        options.totalSamples = 32 * 10;
        return Save(fogbell::test::BuildAdx(options, fogbell::test::AdxFrames(10, 2, 3), true),
                    "voice.adx");
    }

    template <typename T = QWidget>
    T* Get(int id) {
        return dynamic_cast<T*>(window->Control(id));
    }
    QAbstractButton* ButtonOf(int id) { return Get<QAbstractButton>(id); }
    QTreeView* List() { return Get<QTreeView>(kIdTrackList); }
    int Rows() { return List()->model()->rowCount(); }
    QString Cell(int row, int column) {
        return List()->model()->index(row, column).data().toString();
    }
    bool Selected(int row) { return List()->selectionModel()->isRowSelected(row); }
    // Selects a row as a click with Ctrl would, keeping the rest.
    void SelectRow(int row) {
        List()->selectionModel()->select(List()->model()->index(row, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QString Status() { return Get<QLabel>(kIdStatus)->text(); }

    void DoubleClickRow(int row) {
        QTreeView* list = List();
        const QPoint at = list->visualRect(list->model()->index(row, 0)).center();
        QWidget* viewport = list->viewport();
        const QPointF local(at);
        const QPointF global(viewport->mapToGlobal(at));
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                  QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
            const Qt::MouseButtons held =
                type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
            QMouseEvent event(type, local, global, Qt::LeftButton, held, Qt::NoModifier);
            QApplication::sendEvent(viewport, &event);
        }
    }

    void Key(int key, QWidget* to = nullptr) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(to ? to : window.get(), &press);
    }

    std::string Setting(const char* key) {
        IniFile ini;
        ini.Load(dir.File("ini.ini"));
        return ini.Get("General", key);
    }

    fogbell::test::TempDir dir;
    test::DialogScript script;
    std::unique_ptr<MainWindow> window;
};

// Runs the window thread's events until done() holds or about seconds have passed.
template <typename Done>
bool RunUntil(Done done, int milliseconds = 8000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

}  // namespace fogbell::window
