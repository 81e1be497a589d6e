// The program's own entry: a model that cannot be opened ends it with an error status.
// AfxWinMain makes the process's Qt application, so this runs in a process of its own.
#include "HaldenApp.h"
#include "Prompts.h"

#include <gtest/gtest.h>

#include <QDir>

TEST(HaldenMain, AMissingModelOnTheCommandLineEndsTheProgramWithAnErrorStatus)
{
  const std::string missing = QDir::tempPath().toStdString() + "/halden-no-such-model.vtk";
  std::string program = "Halden";
  std::string argument = missing;
  char* argv[] = { &program[0], &argument[0], nullptr };

  CScriptedPrompts prompts; // the framework's message about the file, answered with OK
  CHaldenApp app;
  const int status = AfxWinMain(2, argv);
  EXPECT_NE(status, 0);
  ASSERT_EQ(prompts.Messages.size(), 1u);
  EXPECT_NE(prompts.Messages[0].Text.find("no-such-model"), std::string::npos)
    << prompts.Messages[0].Text;
}
