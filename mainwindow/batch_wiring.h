#pragma once

class frmMain;

// The batch as the main window starts it: Start checks the list, disables the controls and arms
// Timer1; the tick hands the list to the engine's batch driver, which reports back through the
// window's side (controls, progress, folder, sound, messages).
class MainBatch
{
public:
    explicit MainBatch(frmMain& window);
    ~MainBatch();

    void Timer1_Timer();
    bool running() const { return m_running; }

private:
    frmMain& m_window;
    bool m_running = false;
};
