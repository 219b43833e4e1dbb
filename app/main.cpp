#include "platform/Application.h"

int main(int argc, char** argv) {
    return ferrodock::runApplication(argc, argv);
}
