#pragma once
// The application object: one start routine, run from wWinMain.

class Application {
public:
    virtual ~Application() = default;
    // Runs the start routine; when it returns true, a message loop follows until WM_QUIT.
    int Run();

protected:
    virtual bool Start() = 0;
};
