#include "app/application.h"

int main(int argc, char** argv)
{
    return runKompaktor(argc, argv);
}
