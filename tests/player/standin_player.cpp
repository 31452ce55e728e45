// A stand-in for MPlayer in slave mode, for the preview tests: it answers
// the queries in MPlayer's formats, pauses, seeks, quits and reaches the end
// of the file like MPlayer does, and logs its arguments and every command it
// reads so that a test can check what the recorder sent.
//
// Environment:
//   STANDIN_LOG     file that receives "arg <argument>" and "cmd <command>" lines
//   STANDIN_LENGTH  length in seconds (default 10)
//   STANDIN_SPEED   seconds of playback per real second (default 1)
//   STANDIN_CRASH_MS  die by SIGKILL this long after starting (no end line)
//   STANDIN_NOISY   write answers in pieces, behind escape sequences and
//                   carriage returns, among status lines
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double envNumber(const char* name, double fallback) {
    const char* text = std::getenv(name);
    return text ? std::atof(text) : fallback;
}

class StandIn {
  public:
    StandIn() : length_(envNumber("STANDIN_LENGTH", 10)), speed_(envNumber("STANDIN_SPEED", 1)) {
        if (const char* path = std::getenv("STANDIN_LOG")) {
            log_.open(path, std::ios::app);
        }
        noisy_ = std::getenv("STANDIN_NOISY") != nullptr;
    }

    void logArguments(int argc, char** argv) {
        for (int i = 1; i < argc; ++i) {
            log("arg " + std::string(argv[i]));
        }
        log("pid " + std::to_string(::getpid()));
    }

    int run(const char* file) {
        say("MPlayer stand-in\n\nPlaying " + std::string(file) + ".\n");
        const double crashMs = envNumber("STANDIN_CRASH_MS", -1);
        const auto started = Clock::now();
        last_ = started;
        std::string pending;
        for (;;) {
            advance();
            if (position_ >= length_) {
                say("\n\nExiting... (End of file)\n");
                return 0;
            }
            if (crashMs >= 0 &&
                Clock::now() - started > std::chrono::duration<double, std::milli>(crashMs)) {
                ::raise(SIGKILL);
            }
            pollfd in{STDIN_FILENO, POLLIN, 0};
            if (::poll(&in, 1, 20) <= 0) {
                continue;
            }
            char buffer[512];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                return 0;  // the recorder went away
            }
            pending.append(buffer, static_cast<size_t>(n));
            for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
                const std::string command = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (!handle(command)) {
                    return 0;
                }
            }
        }
    }

  private:
    void advance() {
        const auto now = Clock::now();
        if (!paused_) {
            position_ += std::chrono::duration<double>(now - last_).count() * speed_;
        }
        last_ = now;
    }

    // False when the player is to exit.
    bool handle(const std::string& command) {
        log("cmd " + command);
        if (paused_) {
            paused_ = false;  // any command resumes; "pause" is used up by it
            if (command == "pause") {
                return true;
            }
        }
        char line[128];
        if (command == "get_time_length") {
            std::snprintf(line, sizeof line, "ANS_LENGTH=%.2f", length_);
            answer(line);
        } else if (command == "get_time_pos") {
            std::snprintf(line, sizeof line, "ANS_TIME_POSITION=%.1f", position_);
            answer(line);
        } else if (command == "get_percent_pos") {
            std::snprintf(line, sizeof line, "ANS_PERCENT_POSITION=%d",
                          static_cast<int>(position_ * 100 / length_));
            answer(line);
        } else if (command == "pause") {
            paused_ = true;
        } else if (command.rfind("seek ", 0) == 0) {
            position_ = std::atof(command.c_str() + 5);
        } else if (command == "quit") {
            say("\nExiting... (Quit)\n");
            return false;
        }
        return true;
    }

    void answer(const std::string& text) {
        if (!noisy_) {
            say(text + "\n");
            return;
        }
        // A status line rewritten by a carriage return, an answer behind a
        // terminal escape and split across two writes, and a CRLF ending.
        say("A:   1.0 V:   1.0 A-V:  0.000\r\x1b[K");
        const size_t half = text.size() / 2;
        say(text.substr(0, half));
        ::usleep(5000);
        say(text.substr(half) + "\r\njunk=1 ANS_LENGTH=99\n");
    }

    void say(const std::string& text) {
        for (size_t done = 0; done < text.size();) {
            const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
            if (n <= 0) {
                std::exit(0);  // nobody reads any more
            }
            done += static_cast<size_t>(n);
        }
    }

    void log(const std::string& line) {
        if (log_) {
            log_ << line << '\n' << std::flush;
        }
    }

    double length_;
    double speed_;
    double position_ = 0;
    bool paused_ = false;
    bool noisy_ = false;
    Clock::time_point last_;
    std::ofstream log_;
};

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    StandIn player;
    player.logArguments(argc, argv);
    return player.run(argc > 1 ? argv[argc - 1] : "");
}
