// The small services: directories, named mutex, modules, debug output and
// message boxes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "console_message_box.h"
#include "platform/debug_output.h"
#include "platform/fakes/recording_message_box.h"
#include "platform/fakes/temp_directory.h"
#include "platform/last_error.h"
#include "platform/message_box.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/single_instance.h"

namespace lx2d::platform {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream stream(path);
  std::stringstream text;
  text << stream.rdbuf();
  return text.str();
}

// Sets an environment variable for one test and puts the old value back.
class CScopedVariable {
 public:
  CScopedVariable(const char* variable, const std::string& value) : name(variable) {
    const char* old = std::getenv(variable);
    if (old != nullptr) previous = old;
    hadValue = old != nullptr;
    setenv(variable, value.c_str(), 1);
  }
  ~CScopedVariable() {
    if (hadValue) {
      setenv(name, previous.c_str(), 1);
    } else {
      unsetenv(name);
    }
  }

 private:
  const char* name;
  std::string previous;
  bool hadValue = false;
};

TEST(PathsTest, Directories_FromEnvironmentOverrideOrDefault) {
  CTempDirectory folder;
  {
    CScopedVariable system("LX2D_SYSTEM_DIR", folder.Path() + "/sys/");
    EXPECT_EQ(GetDirectory(Directory::kSystem), folder.Path() + "/sys");
  }
  {
    CScopedVariable empty("LX2D_SYSTEM_DIR", "");
    EXPECT_EQ(GetDirectory(Directory::kSystem), "/var/lib/lx2d");
  }
  {
    CScopedVariable user("LX2D_USER_DIR", "");
    CScopedVariable xdg("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(GetDirectory(Directory::kUser), "/cfg/lx2d");
  }
  {
    CScopedVariable state("LX2D_STATE_DIR", "");
    CScopedVariable xdg("XDG_STATE_HOME", "");
    CScopedVariable home("HOME", "/home/someone");
    EXPECT_EQ(GetDirectory(Directory::kState), "/home/someone/.local/state/lx2d");
  }
  SetDirectoryForTesting(Directory::kState, folder.Path() + "/forced");
  EXPECT_EQ(GetDirectory(Directory::kState), folder.Path() + "/forced");
  std::string made;
  ASSERT_EQ(EnsureDirectory(Directory::kState, "logs/deep", &made), ERROR_SUCCESS);
  EXPECT_EQ(made, folder.Path() + "/forced/logs/deep");
  struct stat info {};
  ASSERT_EQ(stat(made.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0077, 0u);  // the user's own place
  SetDirectoryForTesting(Directory::kState, "");
}

TEST(PathsTest, EnsureDirectory_BlockedByAFile_PathNotFound) {
  CTempDirectory folder;
  std::ofstream(folder.Path() + "/file") << "x";
  SetDirectoryForTesting(Directory::kRuntime, folder.Path() + "/file");
  std::string made;
  EXPECT_EQ(EnsureDirectory(Directory::kRuntime, "locks", &made), ERROR_PATH_NOT_FOUND);
  SetDirectoryForTesting(Directory::kRuntime, "");
}

TEST(NamedMutexTest, SecondHolder_AlreadyExistsUntilReleased) {
  CTempDirectory folder;
  folder.UseForAllDirectories();
  const char* kName = "Korvane Barcode Reader 2D Setting Utility";
  CNamedMutex first;
  CNamedMutex second;
  ASSERT_EQ(first.Create(kName), ERROR_SUCCESS);
  EXPECT_TRUE(first.IsHeld());
  EXPECT_EQ(first.Create(kName), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(second.Create(kName), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(second.IsHeld());
  CNamedMutex other;
  EXPECT_EQ(other.Create("a/b"), ERROR_SUCCESS);  // '/' stays inside the locks folder
  EXPECT_EQ(access((folder.Path() + "/run/locks/a_b.lock").c_str(), F_OK), 0);
  first.Close();
  EXPECT_EQ(second.Create(kName), ERROR_SUCCESS);
  EXPECT_EQ(CNamedMutex().Create(""), ERROR_INVALID_PARAMETER);
}

extern "C" int Lx2dModuleTestSymbol() { return 42; }

TEST(ModuleTest, LoadLibrary_SymbolsAndErrors) {
  SetLastError(0);
  EXPECT_EQ(LoadLibrary("/nonexistent/libRDLK_HID.so"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_NE(GetModuleErrorText(), "");

  HMODULE library = LoadLibrary("libm.so.6");
  ASSERT_NE(library, nullptr) << GetModuleErrorText();
  auto cosine = reinterpret_cast<double (*)(double)>(GetProcAddress(library, "cos"));
  ASSERT_NE(cosine, nullptr);
  EXPECT_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(GetProcAddress(library, "NoSuchExport"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(FreeLibrary(library), TRUE);
  EXPECT_EQ(GetProcAddress(nullptr, "cos"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(FreeLibrary(nullptr), FALSE);
}

TEST(ModuleTest, OwnPaths_PointAtThisProgram) {
  std::string program = GetModuleFileName();
  ASSERT_FALSE(program.empty());
  EXPECT_EQ(program.front(), '/');
  EXPECT_NE(program.find("platform_services_test"), std::string::npos);
  EXPECT_EQ(GetModuleDirectory() + "/platform_services_test", program);
  EXPECT_EQ(GetModulePathOf(reinterpret_cast<const void*>(&Lx2dModuleTestSymbol)), program);
}

TEST(DebugOutputTest, SilentByDefaultFileWhenNamed) {
  CTempDirectory folder;
  std::string file = folder.Path() + "/debug.txt";
  {
    CScopedVariable silent("LX2D_DEBUG_OUTPUT", "");
    OutputDebugString(std::string_view("lost\n"));
  }
  EXPECT_NE(access(file.c_str(), F_OK), 0);
  CScopedVariable named("LX2D_DEBUG_OUTPUT", file);
  OutputDebugString(std::string_view("first\n"));
  OutputDebugString(std::u16string_view(u"caf\u00e9\n"));
  EXPECT_EQ(ReadFile(file), "first\ncaf\xC3\xA9\n");
}

TEST(MessageBoxTest, DefaultButton_PerStyle) {
  struct Case {
    UINT style;
    int answer;
  };
  const Case cases[] = {
      {MB_OK, IDOK},
      {0x40104, IDNO},  // Yes/No, second default, topmost: the new-OS question
      {MB_YESNO, IDYES},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
      {MB_OKCANCEL | MB_DEFBUTTON3, IDOK},  // no third button: the first
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
  };
  for (const Case& c : cases) EXPECT_EQ(DefaultButton(c.style), c.answer) << c.style;
}

TEST(MessageBoxTest, RecordingBox_RecordsAndAnswersFromScript) {
  {
    CRecordingMessageBox boxes;
    boxes.QueueAnswer(IDYES);
    EXPECT_EQ(MessageBox(7, u"Continue?", u"LX2D_SET", 0x40104), IDYES);
    EXPECT_EQ(MessageBox(0, std::string_view("Allocation error"), std::string_view(""), MB_OK),
              IDOK);
    EXPECT_EQ(MessageBox(0, u"again?", u"c", MB_YESNO | MB_DEFBUTTON2), IDNO);
    ASSERT_EQ(boxes.Boxes().size(), 3u);
    EXPECT_EQ(boxes.Boxes()[0].owner, 7u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Continue?");
    EXPECT_EQ(boxes.Boxes()[0].caption, "LX2D_SET");
    EXPECT_EQ(boxes.Boxes()[0].style, 0x40104u);
  }
  EXPECT_EQ(SetMessageBoxImplementation(nullptr), nullptr);  // uninstalled again
}

class ConsoleMessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(pipe(errorPipe), 0); }
  void TearDown() override {
    close(errorPipe[0]);
    close(errorPipe[1]);
  }
  std::string ErrorText() {
    close(errorPipe[1]);
    errorPipe[1] = open("/dev/null", O_WRONLY);
    std::string text;
    char buffer[256];
    ssize_t got;
    while ((got = read(errorPipe[0], buffer, sizeof(buffer))) > 0) text.append(buffer, got);
    return text;
  }
  CTempDirectory folder;
  int errorPipe[2] = {-1, -1};
};

TEST_F(ConsoleMessageBoxTest, Show_WritesCaptionAndTextLine) {
  CConsoleMessageBox box(folder.Path() + "/no-terminal", folder.Path() + "/no-terminal",
                         errorPipe[1]);
  EXPECT_EQ(box.Show(0, "Buffer overflow", "ERROR", MB_OK), IDOK);
  EXPECT_EQ(box.Show(0, "Continue?", "LX2D_SET", 0x40104), IDNO);  // no terminal: default
  EXPECT_EQ(ErrorText(), "ERROR: Buffer overflow\nLX2D_SET: Continue?\n");
}

TEST_F(ConsoleMessageBoxTest, Show_ReadsAnswerFromTerminal) {
  struct Case {
    const char* typed;
    UINT style;
    int answer;
  };
  const Case cases[] = {
      {"y\n", MB_YESNO | MB_DEFBUTTON2, IDYES},
      {"NO\n", MB_YESNO, IDNO},
      {"\n", MB_YESNO | MB_DEFBUTTON2, IDNO},            // empty line: default
      {"maybe\nwhat\ny\n", MB_YESNO, IDYES},             // asked again
      {"x\nx\nx\ny\n", MB_YESNO | MB_DEFBUTTON2, IDNO},  // three bad answers: default
      {"", MB_YESNO, IDYES},                             // end of input: default
      {"c\n", MB_YESNOCANCEL, IDCANCEL},
  };
  for (const Case& c : cases) {
    std::string typed = folder.Path() + "/typed";
    std::string prompts = folder.Path() + "/prompts";
    std::ofstream(typed, std::ios::trunc) << c.typed;
    std::ofstream(prompts, std::ios::trunc).flush();
    CConsoleMessageBox box(typed, prompts, errorPipe[1]);
    EXPECT_EQ(box.Show(0, "q", "c", c.style), c.answer) << c.typed;
  }
  EXPECT_EQ(ReadFile(folder.Path() + "/prompts"), "[Yes/No/Cancel] (Yes): ");
}

// Shows a Yes/No box (default No) on the terminal of a new session, a
// pseudo-terminal on which "y" is typed. In the foreground the box reads the
// answer; in a second process group (a job started with '&') it must not read,
// since the terminal would stop it. Answers the button, -1 when the box was
// stopped, or 0 when nothing came back in time.
int AnswerOnPseudoTerminal(bool background) {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return 0;
  std::string terminal = ptsname(master);
  int answerPipe[2];
  if (pipe(answerPipe) != 0) return 0;
  pid_t leader = fork();
  if (leader == 0) {
    // The session leader: the terminal becomes its controlling terminal, its
    // group the foreground one.
    setsid();
    int tty = open(terminal.c_str(), O_RDWR);
    int nowhere = open("/dev/null", O_WRONLY);
    auto ask = [&] {
      int answer = CConsoleMessageBox("/dev/tty", "/dev/tty", nowhere)
                       .Show(0, "Continue?", "LX2D_SET", MB_YESNO | MB_DEFBUTTON2);
      ssize_t ignored = write(answerPipe[1], &answer, sizeof(answer));
      (void)ignored;
    };
    if (tty < 0) _exit(1);
    if (!background) {
      ask();
      _exit(0);
    }
    pid_t job = fork();
    if (job == 0) {
      setpgid(0, 0);
      ask();
      _exit(0);
    }
    int status = 0;
    waitpid(job, &status, WUNTRACED);
    if (WIFSTOPPED(status)) {
      int stopped = -1;
      ssize_t ignored = write(answerPipe[1], &stopped, sizeof(stopped));
      (void)ignored;
      kill(job, SIGKILL);
      waitpid(job, &status, 0);
    }
    _exit(0);
  }
  close(answerPipe[1]);
  ssize_t typed = write(master, "y\n", 2);
  int answer = 0;
  pollfd ready{answerPipe[0], POLLIN, 0};
  if (typed == 2 && poll(&ready, 1, 20000) == 1 &&
      read(answerPipe[0], &answer, sizeof(answer)) != sizeof(answer)) {
    answer = 0;
  }
  kill(leader, SIGKILL);
  waitpid(leader, nullptr, 0);
  close(answerPipe[0]);
  close(master);
  return answer;
}

TEST(ConsoleMessageBoxTerminalTest, Question_AskedInForegroundDefaultInBackground) {
  EXPECT_EQ(AnswerOnPseudoTerminal(false), IDYES);
  EXPECT_EQ(AnswerOnPseudoTerminal(true), IDNO);  // at once, not stopped (-1)
}

}  // namespace
}  // namespace lx2d::platform
