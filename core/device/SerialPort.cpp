#include "core/device/SerialPort.h"

std::string portName(int portNumber) {
    const std::string number = std::to_string(portNumber);
    // Ports from 10 on are only reachable through the device namespace.
    return portNumber < 10 ? "Com" + number : "\\\\.\\Com" + number;
}
