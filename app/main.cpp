// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/application.h"
#include "app/commandline.h"

int main(int argc, char** argv)
{
    answerInformationRequest(argc, argv);
    return runKompaktor(argc, argv);
}
