// manual_test.cpp -- what the manual shows the terminal printing is what
// `ostra` prints.
//
// docs/running.md shows commands and their output in code blocks. A block
// whose lines start with "$ " is a transcript: each command is run and what
// it prints (standard output and error as a terminal interleaves them) must
// be the lines up to the next command. A block after a comment
// "<!-- output of: ARGS -->" is the whole output of `ostra ARGS`, one after
// "<!-- part of the output of: ARGS -->" runs of its lines, in order, where
// a line "…" stands for lines left out. "scratch/NAME"
// in a command is a fresh copy of examples/NAME (with its companion
// programs), or of the example a comment "<!-- model scratch/NAME: EXAMPLE,
// FILE line N: TEXT -->" names, with line N of FILE replaced by TEXT. Wall
// times are the one thing that differs from run to run.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/ostra_process.h"
#include "support/test_support.h"

namespace ostra::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

std::string Masked(std::string text) {
    static const std::regex wall(R"(wall time ([0-9]+ min )?[0-9.]+ s)");
    return std::regex_replace(text, wall, "wall time (T)");
}

// A model a comment asks for: an example, and at most one replaced line.
struct ModelRecipe {
    std::string example, file, text;
    int line = 0;
};

// The model directories of one block, made when a command first names them.
class Scratch {
public:
    explicit Scratch(const std::map<std::string, ModelRecipe>& recipes) : recipes_(recipes) {}

    // `word` with "scratch/NAME" made a directory; the texts to map back.
    std::string Resolve(const std::string& word) {
        if (word.rfind("scratch/", 0) != 0) return word;
        const std::string name = word.substr(8);
        auto& dir = dirs_[name];
        if (!dir) {
            dir = std::make_unique<TempDir>();
            const auto r = recipes_.find(word);
            const ModelRecipe recipe = r != recipes_.end() ? r->second : ModelRecipe{name, "", "", 0};
            CopyExampleWithCompanions(*dir, recipe.example);
            if (recipe.line > 0) {
                std::vector<std::string> lines = Lines(dir->Read(recipe.file));
                lines.at(static_cast<std::size_t>(recipe.line - 1)) = recipe.text;
                std::string joined;
                for (const std::string& l : lines) joined += l + "\n";
                dir->Write(recipe.file, joined);
            }
        }
        back_[dir->Path().string()] = word;
        return dir->Path().string();
    }
    std::string MapBack(std::string text) const {
        for (const auto& [path, word] : back_)
            for (std::size_t at = text.find(path); at != std::string::npos; at = text.find(path, at + word.size()))
                text.replace(at, path.size(), word);
        return text;
    }

private:
    const std::map<std::string, ModelRecipe>& recipes_;
    std::map<std::string, std::unique_ptr<TempDir>> dirs_;
    std::map<std::string, std::string> back_;
};

// `ostra ARGS` with standard output and error in one file; its exit status.
std::string RunMerged(Scratch& scratch, const std::vector<std::string>& args, int& status) {
    TempDir io;
    std::string cmd = Quoted(OSTRA_EXE);
    for (std::size_t i = 1; i < args.size(); ++i) cmd += " " + Quoted(scratch.Resolve(args[i]));
    cmd += " < /dev/null > " + Quoted((io.Path() / "out").string()) + " 2>&1";
    const int raw = std::system(cmd.c_str());
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return Masked(scratch.MapBack(io.Read("out")));
}

std::string Joined(const std::vector<std::string>& lines, std::size_t from, std::size_t to) {
    std::string text;
    for (std::size_t i = from; i < to; ++i) text += lines[i] + "\n";
    return text;
}

void CheckTranscript(const std::vector<std::string>& block, const std::map<std::string, ModelRecipe>& recipes) {
    Scratch scratch(recipes);
    int status = 0;
    for (std::size_t i = 0; i < block.size();) {
        ASSERT_EQ(block[i].rfind("$ ", 0), 0u) << "a transcript starts with a command: " << block[i];
        const std::vector<std::string> args = Words(block[i].substr(2));
        std::size_t end = i + 1;
        while (end < block.size() && block[end].rfind("$ ", 0) != 0) ++end;
        const std::string shown = Masked(Joined(block, i + 1, end));
        SCOPED_TRACE(block[i]);
        if (args == std::vector<std::string>{"echo", "$?"}) {
            EXPECT_EQ(shown, std::to_string(status) + "\n");
        } else {
            ASSERT_EQ(args.at(0), "ostra");
            EXPECT_EQ(RunMerged(scratch, args, status), shown);
        }
        i = end;
    }
}

TEST(Manual, TheTerminalOutputThatRunningMdShowsIsWhatOstraPrints) {
    std::ifstream in(fs::path(OSTRA_SOURCE_DIR) / "docs" / "running.md");
    ASSERT_TRUE(in);
    std::stringstream all;
    all << in.rdbuf();
    const std::vector<std::string> lines = Lines(all.str());
    std::map<std::string, ModelRecipe> recipes;
    static const std::regex model(R"(<!-- model (scratch/\S+): ([\w-]+)(, (\S+) line ([0-9]+): (.*))? -->)");
    static const std::regex output(R"(<!-- (part of the )?output of: (.*) -->)");
    int checked = 0;
    std::string comment;  // the comment right before a block
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        if (std::regex_match(lines[i], m, model)) {
            recipes[m[1]] = {m[2], m[4], m[6], m[5].matched ? std::stoi(m[5]) : 0};
            continue;
        }
        if (lines[i].rfind("<!--", 0) == 0) {
            comment = lines[i];
            continue;
        }
        if (lines[i].rfind("```", 0) != 0) {
            if (!lines[i].empty()) comment.clear();
            continue;
        }
        std::size_t end = i + 1;
        while (end < lines.size() && lines[end].rfind("```", 0) != 0) ++end;
        const std::vector<std::string> block(lines.begin() + static_cast<long>(i) + 1,
                                             lines.begin() + static_cast<long>(end));
        SCOPED_TRACE("docs/running.md, the block on line " + std::to_string(i + 1));
        if (!block.empty() && block[0].rfind("$ ", 0) == 0) {
            CheckTranscript(block, recipes);
            ++checked;
        } else if (std::regex_match(comment, m, output)) {
            Scratch scratch(recipes);
            std::vector<std::string> args = Words(m[2]);
            args.insert(args.begin(), "ostra");
            int status = 0;
            const std::string printed = RunMerged(scratch, args, status);
            const std::string shown = Masked(Joined(block, 0, block.size()));
            if (m[1].matched) {
                // Runs of lines in order; a line "…" stands for lines left out.
                std::size_t at = 0, from = 0;
                for (std::size_t k = 0; k <= block.size(); ++k) {
                    if (k < block.size() && Words(block[k]) != std::vector<std::string>{"\u2026"}) continue;
                    const std::string piece = Masked(Joined(block, from, k));
                    at = printed.find(piece, at);
                    EXPECT_NE(at, std::string::npos) << piece << "\nin\n" << printed;
                    if (at == std::string::npos) break;
                    at += piece.size();
                    from = k + 1;
                }
            } else {
                EXPECT_EQ(printed, shown);
            }
            ++checked;
        }
        comment.clear();
        i = end;
    }
    EXPECT_GE(checked, 5);  // the blocks of commands the manual shows
}

}  // namespace
}  // namespace ostra::testing
