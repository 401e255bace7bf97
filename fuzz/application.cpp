// The engine's timers want the event dispatcher an application object brings;
// libFuzzer calls this before the first input, and so does the replay program.
#include <QCoreApplication>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    return 0;
}
