#include "ui/app/KavriluneApp.h"

int main(int argc, char** argv)
{
    return CKavriluneApp::Main(argc, argv);
}
