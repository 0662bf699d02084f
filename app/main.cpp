#include "app/application.h"
#include "app/commandline.h"

int main(int argc, char** argv)
{
    answerInformationRequest(argc, argv);
    return runKompaktor(argc, argv);
}
