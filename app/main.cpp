#include "app/application.h"
#include "app/commandline.h"
#include "platform/shelllaunch.h"

int main(int argc, char** argv)
{
    answerInformationRequest(argc, argv);
    // This executable also relays the output of the programs that the trial launch starts.
    if (isProgramRelay(argc, argv))
        runProgramRelay(argv);
    setProgramRelayExecutable(QStringLiteral("/proc/self/exe"));
    return runKompaktor(argc, argv);
}
