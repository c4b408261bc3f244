// The firmware without the driver: board start-up and the main loop's own work.

#include "Board.h"

HardwareSerial catUart(1);

int main() {
    for (;;) {
        firmwareWork(catUart);
    }
}
