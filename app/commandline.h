#pragma once

// Answers "--help" and "--version", given as the first argument, on standard output and ends the
// program with status 0 before any window or toolkit is made. Returns for every other command
// line.
void answerInformationRequest(int argc, char** argv);
