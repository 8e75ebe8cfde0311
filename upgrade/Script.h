#pragma once

#include "FailureRoutine.h"

#include <QString>

#include <array>
#include <span>

class Step;

// The upgrade script as rows: each state's checks of the output it examines, the files it
// transfers, then its caption, the command it sends and the state that will examine that
// command's output. A step with a choice of two ways, or with more to do, names a function.
namespace Script {

inline constexpr int kBusy = 999999;
inline const QString kPrompt = QStringLiteral("bash-2.04#");
// The log-in of the instrument's maintenance shell and of its FTP server.
inline const QString kLogin = QStringLiteral("root");
inline const QString kPassword = QStringLiteral("k8r2Mq5");

// How a caption ends: the warning, or a note on the time it takes and then the warning.
enum class Suffix
{
    None,
    Warning,
    Note2,
    Note4,
    Note10,
};

struct Caption
{
    const char *text = nullptr;
    Suffix suffix = Suffix::None;
    bool wait = false; // the 1000 ms wait that follows
};

QString captionText(const Caption &caption);
// The caption left behind by a failed transfer: the routine's message on one line.
QString transferFailureCaption(FailureRoutine routine);

// Where a step goes: its caption (and wait), the command it sends and the state that examines it.
struct Way
{
    Caption caption;
    const char *command = nullptr;
    int next = 0;
    qint32 timeout = 60;
};

// A file from the upgrade folder to the instrument.
struct Transfer
{
    const char *file;
    const char *target;
    int state; // current while the transfer runs
    FailureRoutine routine;
    Caption caption;
    qint16 progress;              // added once it has arrived
    int settle = 0;               // milliseconds waited after it, whatever the result
    qint32 type = 2;              // binary; 1 for text
    const char *folder = nullptr; // the remote folder made current first
};

// A check of the output: true when it passes; otherwise it has ended the step (failed or halted).
using Check = bool (*)(const Step &);
// Which of the row's ways the step takes, or kEnded when the function has ended the step itself.
using Choose = int (*)(const Step &);
inline constexpr int kEnded = -1;

struct Row
{
    int state;
    Caption before = {}; // shown before the output is examined
    qint16 progress = 1;
    std::array<Check, 3> checks = {};
    std::array<const Transfer *, 2> transfers = {};
    std::array<Way, 2> ways = {};
    Choose choose = nullptr;
    int settle = 0;             // milliseconds waited after sending
    const char *text = nullptr; // what a check compares with: a tolerated message, a file name
};

inline constexpr int kStart = 1022;
// Sent once the log-in is through; examined by kStart.
const char *firstCommand();
// Does the state examine the output of a command that only reads ("cd /mnt/nand1", "pwd" and
// "ps aux": the right device, its working folder, maintenance mode)? Until the step of the last of
// them sends "date", nothing on the instrument has been changed.
bool readsOnly(int state);

std::span<const Row> rows();
const Row *find(int state);

} // namespace Script
