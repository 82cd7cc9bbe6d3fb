#ifndef K310PROTOCOL_H
#define K310PROTOCOL_H

#include <cstdint>

// The codes of the doser protocol: what the master asks for (command, subcommand) and the
// state flags the doser answers with. The console's device model and the simulated doser
// both speak it, so it is written down once, here.
namespace K310Protocol {

enum Command : std::uint8_t {
    WeightNetto = 0,
    SoftwareVersion = 3,
    ResetError = 4,
    DoseWeight = 8,
    ReadDoseFaultPlus = 10,
    WriteDoseFaultPlus = 11,
    ReadDoseFaultMinus = 12,
    WriteDoseFaultMinus = 13,
    DownloadWeight = 14,
    DownloadSetDose = 15,
    ContinueDownload = 17,
    UploadDose = 20,
    FullCycle = 22,
    Counters = 24,
    StopWork = 26,
    TestMode = 39,
    Parameters = 44,
};

// A request that only reads: asking it again changes nothing at the doser. Every other one
// orders or writes something (a fill, a discharge, a parameter) and is sent once.
constexpr bool isRead(std::uint8_t command)
{
    return command == WeightNetto || command == SoftwareVersion || command == ReadDoseFaultPlus
           || command == ReadDoseFaultMinus || command == Counters || command == Parameters;
}

// An order that moves product: a fill, its continuation, a discharge or a whole cycle. Sent a
// second time it could move product twice, so it is never repeated.
constexpr bool movesProduct(std::uint8_t command)
{
    return command == DownloadWeight || command == DownloadSetDose || command == ContinueDownload
           || command == UploadDose || command == FullCycle;
}

// Subcommands of Counters.
enum CounterSelector : std::uint8_t {
    SumWeightOfLastDownload = 0,
    DoseCount = 16,
    TotalWeight = 18,
    TotalCommonDoseCount = 19,
    TotalCommonWeight = 20,
};

// Subcommands of Parameters.
enum ParameterSelector : std::uint8_t {
    UpperLimit = 0,
    Scale = 1,
    WeightUnit = 2,
    TotalWeightUnit = 3,
};

// Bits of a reply's state byte.
constexpr std::uint8_t AlarmFlag = 0x80;
constexpr std::uint8_t WorkingFlag = 0x02;
// With neither alarm nor working: stopped with a dose in the hopper to discharge.
constexpr std::uint8_t DoseToDischargeFlag = 0x10;

} // namespace K310Protocol

#endif // K310PROTOCOL_H
