#include "AppFixture.h"

#include "Clock.h"

#include <QLabel>
#include <QtTest>

#include <chrono>

void ManualTime::WaitUs(std::condition_variable& wake, std::unique_lock<std::mutex>& lock, std::int64_t us)
{
    // Real waiting in short slices, so that a move of the time line is seen soon.
    wake.wait_for(lock, std::chrono::microseconds(std::min<std::int64_t>(us, 2000)));
}

AppFixture::AppFixture(bool realTime, const QString& dir)
{
    if (dir.isEmpty()) {
        FTempDir = std::make_unique<QTemporaryDir>();
        FDir = FTempDir->path();
    } else {
        FDir = dir;
    }
    SetMessageBoxHook([this](const QString&, const QString& text) { FMessages << text; });
    FMain = std::make_unique<TformMain>(FDir, realTime ? nullptr : &FTime);
    FConfig = std::make_unique<TformConfig>(*FMain, FMain.get());
    FMain->SetConfig(FConfig.get());
    FMain->show();
    QTRY_VERIFY(FMain->StartedUp());
}

AppFixture::~AppFixture()
{
    Close();
    FConfig.reset();
    FMain.reset();
    SetMessageBoxHook({});
}

void AppFixture::Close()
{
    if (FMain && FMain->isVisible()) {
        FMain->close();
    }
}

void AppFixture::Beat(int count)
{
    for (int i = 0; i < count; ++i) {
        FMain->BeatNow();
    }
}

QString AppFixture::Panel(int index) const
{
    return FMain->FPanels[index]->text();
}
