// A controller played by a test on a pseudo-terminal pair: Dravik's link
// opens SlavePath() as its serial port, and every CR-ended line it sends is
// answered by the script on a thread of its own.
//
// ScriptedController is a script that behaves like the controller's
// programming commands (prompt, "vers", "*ctype", "xma", "xmpmax", "xmc",
// "xmp" with its escaped data lines, "*CEXT", "*LOAD"), keeps the store's
// bytes, and lets a test replace any answer to play an odd controller.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeController {
public:
    // Gets one line (without its CR) and returns the bytes to answer.
    using Script = std::function<std::string(const std::string& line)>;

    explicit FakeController(Script script);
    ~FakeController();
    FakeController(const FakeController&) = delete;
    FakeController& operator=(const FakeController&) = delete;

    const std::string& SlavePath() const { return m_slavePath; }
    bool ok() const { return m_master >= 0; }
    // Every line received so far, in order.
    std::vector<std::string> Lines() const;
    // Bytes sent without being asked.
    void Send(const std::string& bytes);

private:
    void Run();
    void WriteAll(const std::string& bytes);

    Script m_script;
    int m_master = -1;
    int m_slave = -1;  // held open so that the link may close and reopen the port
    std::string m_slavePath;
    std::thread m_thread;
    bool m_stop = false;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    std::string m_partial;
};

class ScriptedController {
public:
    // The store's size as "xma" reports it, and its erase block.
    explicit ScriptedController(uint32_t capacity = 0x1BC0000, uint32_t block = 0x20000);

    // The script to hand to FakeController.
    FakeController::Script Script();

    // Answers that replace the controller's own at its prompt, by line (""
    // is the empty line, "vers\n" the link's version query).
    std::map<std::string, std::string> answers;
    // Asked before the answers above; a non-empty result is the answer.
    std::function<std::string(const std::string& line)> hook;
    // A replacement for the answer to a data line (called with the offset
    // "xmp" gave and the line's number within that transfer, from 0); empty
    // keeps the controller's own.  A replacement without "p>" ends the
    // transfer.
    std::function<std::string(uint32_t start, int line, const std::string& text)> dataAnswer;
    // Answers to the erase of a block (e.g. a refusal); empty: " done".
    std::function<std::string(int block)> eraseAnswer;

    std::string versText = "VELM5-PLUS V1.5.8 WVGA ";
    std::string typeText = "1";
    uint16_t validityWord = 0xFEEC;

    // What the controller holds and has seen.
    std::vector<uint8_t> Store() const;
    std::vector<int> ErasedBlocks() const;
    std::vector<std::string> DataLines() const;   // the escaped lines of every transfer
    std::vector<uint32_t> TransferStarts() const; // the offsets "xmp" gave
    int Loads() const;
    bool InTransfer() const;

    static std::vector<uint8_t> Unescape(const std::string& line);

private:
    std::string Answer(const std::string& line);
    std::string Command(const std::string& line);
    std::string DataLine(const std::string& line);
    std::string EndTransfer();

    mutable std::mutex m_mutex;
    uint32_t m_capacity;
    uint32_t m_block;
    std::vector<uint8_t> m_store;
    std::vector<int> m_erased;
    std::vector<std::string> m_dataLines;
    std::vector<uint32_t> m_starts;
    int m_loads = 0;
    bool m_inTransfer = false;
    int m_transferLine = 0;
    uint32_t m_address = 0;
};
