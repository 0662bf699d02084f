#include "app/application.h"

int main(int, char** argv)
{
    return runKompaktor(argv[0]);
}
