// skeetra: hands the game window to the forms runtime.
#include "form1.h"

int main(int argc, char** argv) { return rt::runApplication(argc, argv, rt::project<skeetra::Form1>()); }
