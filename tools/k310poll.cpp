// Polls a doser for its net weight over a serial port and checks every reply frame, its check
// byte and framing. Needs no Qt, so it runs on the panel computer (or under an emulation of it)
// before the console is installed there.
#include "k310framecodec.h"
#include "k310protocol.h"
#include "portresult.h"
#include "serialport.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int AllGood = 0;
constexpr int SomeBad = 1;
constexpr int NotOpened = 2;
constexpr int BadArguments = 64;

constexpr int DefaultCount = 50;
constexpr int DefaultAddress = 30;
constexpr int DefaultRate = 38400;
// The console's reply time-out.
constexpr int DefaultReplyTimeoutMs = 150;
constexpr int MaxAddress = 127;

struct Options
{
    std::string port;
    int count = DefaultCount;
    int address = DefaultAddress;
    int rate = DefaultRate;
    int replyTimeoutMs = DefaultReplyTimeoutMs;
    bool listPorts = false;
};

struct Tally
{
    int replies = 0;
    int good = 0;
    int lost = 0;
};

void printUsage(std::FILE *to)
{
    std::fprintf(to,
                 "usage: k310poll PORT [--count N] [--address 0-%d] [--rate BITS] "
                 "[--timeout MS]\n"
                 "       k310poll --ports\n"
                 "Asks the doser at the address for its net weight N times (default %d) and "
                 "checks each reply frame.\n"
                 "Exit status: 0 every reply good, 1 some lost or bad, 2 the port did not open.\n",
                 MaxAddress, DefaultCount);
}

bool readNumber(const char *text, int low, int high, int &value)
{
    char *end = nullptr;
    const long number = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || number < low || number > high)
        return false;
    value = int(number);
    return true;
}

bool parse(int argc, char *argv[], Options &options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        int *number = nullptr;
        int low = 0;
        int high = 0;
        if (argument == "--ports") {
            options.listPorts = true;
            continue;
        }
        if (argument == "--count") {
            number = &options.count;
            low = 1;
            high = 1000000;
        } else if (argument == "--address") {
            number = &options.address;
            high = MaxAddress;
        } else if (argument == "--rate") {
            number = &options.rate;
            low = 1;
            high = 4000000;
        } else if (argument == "--timeout") {
            number = &options.replyTimeoutMs;
            high = 60000;
        } else if (argument.compare(0, 2, "--") != 0 && options.port.empty()) {
            options.port = argument;
            continue;
        } else {
            return false;
        }
        if (++i >= argc || !readNumber(argv[i], low, high, *number))
            return false;
    }
    return options.listPorts != !options.port.empty();
}

// Reads one frame as the link does: until it is whole or a read brings nothing.
int readFrame(SerialPort &port, std::uint8_t *frame)
{
    int got = 0;
    while (got < K310FrameLength) {
        const int n = port.read(frame + got, K310FrameLength - got);
        if (n <= 0)
            break;
        got += n;
    }
    return got;
}

Tally poll(SerialPort &port, const Options &options)
{
    std::uint8_t packet[K310PacketLength] = {};
    packet[0] = std::uint8_t(options.address);
    packet[2] = K310Protocol::WeightNetto;
    std::uint8_t request[K310FrameLength];
    K310FrameCodec::encode(packet, request);

    Tally tally;
    for (int i = 0; i < options.count; ++i) {
        port.purgeReceive();
        std::uint8_t reply[K310FrameLength];
        if (port.write(request, K310FrameLength) != K310FrameLength
            || readFrame(port, reply) != K310FrameLength) {
            ++tally.lost;
            continue;
        }
        ++tally.replies;
        std::uint8_t answer[K310PacketLength];
        if (K310FrameCodec::decode(reply, K310FrameLength, answer))
            ++tally.good;
    }
    return tally;
}

int listPorts()
{
    const std::vector<std::string> ports = SerialPort::availablePorts();
    if (ports.empty())
        std::puts("no serial ports found");
    for (const std::string &name : ports)
        std::puts(name.c_str());
    return AllGood;
}

} // namespace

int main(int argc, char *argv[])
{
    Options options;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printUsage(stdout);
        return AllGood;
    }
    if (!parse(argc, argv, options)) {
        printUsage(stderr);
        return BadArguments;
    }
    if (options.listPorts)
        return listPorts();

    SerialPort port;
    if (!port.open(options.port)) {
        std::printf("%s: cannot open: %s\n", options.port.c_str(),
                    portResultText(port.openResult()));
        return NotOpened;
    }
    if (!port.setBaudRate(options.rate) || !port.setReadTimeout(options.replyTimeoutMs)) {
        std::printf("%s: %d bit/s or a reply time-out of %d ms refused\n", options.port.c_str(),
                    options.rate, options.replyTimeoutMs);
        return NotOpened;
    }

    const auto start = std::chrono::steady_clock::now();
    const Tally tally = poll(port, options);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    std::printf("%s: %d polls of doser %d at %d bit/s: %d replies, %d intact, %d corrupt, "
                "%d lost; %.1f ms a poll\n",
                options.port.c_str(), options.count, options.address, options.rate, tally.replies,
                tally.good, tally.replies - tally.good, tally.lost, took.count() / options.count);
    return tally.good == options.count ? AllGood : SomeBad;
}
