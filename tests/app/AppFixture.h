#pragma once

#include "Config.h"
#include "Main.h"
#include "MessageBox.h"
#include "TickSource.h"

#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <memory>

// A time line that stands still until the test moves it, so that the real clock thread ticks
// exactly when the test says and never on its own.
class ManualTime final : public TickSource
{
public:
    std::int64_t NowUs() override
    {
        FReads.fetch_add(1);
        return FNow.load();
    }
    // How often the clock has read the time: a test waits for a read before moving the time on.
    int Reads() const { return FReads.load(); }
    void WaitUs(std::condition_variable& wake, std::unique_lock<std::mutex>& lock, std::int64_t us) override;
    void Advance(std::int64_t us) { FNow.fetch_add(us); }

private:
    std::atomic<std::int64_t> FNow{1'000'000'000};
    std::atomic<int> FReads{0};
};

// The real main window and settings dialog on a temporary data directory, started up as the
// program does, with every message box answered and recorded.
struct AppFixture
{
    explicit AppFixture(bool realTime = false, const QString& dir = QString());
    ~AppFixture();
    // Closes the windows as the user does (runs the closing work).
    void Close();
    // One tick of the beat as the clock hands it over.
    void Beat(int count = 1);
    QString Panel(int index) const;

    std::unique_ptr<QTemporaryDir> FTempDir;
    QString FDir;
    ManualTime FTime;
    std::unique_ptr<TformMain> FMain;
    std::unique_ptr<TformConfig> FConfig;
    QStringList FMessages;
};
