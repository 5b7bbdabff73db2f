// The program's entry. A program of the machine defines program_main; each
// host's own main (the desktop's, the page's, the replay harness's) calls it
// with the command line and ends with the status it returns. The program does
// the rest itself: machine_init first, machine_shutdown last.
#pragma once

int program_main(int argc, char** argv);
