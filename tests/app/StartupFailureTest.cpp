// The real program, started with a server that cannot be reached, tells why and
// ends with exit status 1. The offscreen platform has no screen, so the message
// goes to stderr only and nothing waits for a click.
#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

struct Finished {
    int exitCode = -1;
    QString err;
};

// Runs the program offscreen with arguments until it ends by itself.
Finished runProgram(const QStringList& arguments) {
    // The program is built beside the tests; VFC_BIN_DIR names the place
    // when the test runs from elsewhere.
    QString binDir = qEnvironmentVariable("VFC_BIN_DIR");
    if (binDir.isEmpty()) binDir = QCoreApplication::applicationDirPath();

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.start(binDir + "/vexcounter", arguments);
    EXPECT_TRUE(program.waitForStarted(10000)) << program.errorString().toStdString();
    const bool finished = program.waitForFinished(30000);
    if (!finished) program.kill();
    EXPECT_TRUE(finished) << "vexcounter did not end";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    return {program.exitCode(), QString::fromLocal8Bit(program.readAllStandardError())};
}

} // namespace

TEST(VexcounterBinary, UnreachableServerEndsWithStatusOne) {
    // Nothing listens on port 1 of the loopback address.
    const Finished run = runProgram({"server=127.0.0.1:1"});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Failed to connect to server (127.0.0.1) on port 1"))
        << run.err.toStdString();
}

// A port text that is no port number is refused before any connection is
// tried (it would otherwise go to the default port), naming the text as typed.
TEST(VexcounterBinary, PortThatIsNoPortNumberEndsWithStatusOne) {
    for (const char* port : {"99999", "12AB"}) {
        SCOPED_TRACE(port);
        const Finished run = runProgram({QStringLiteral("server=127.0.0.1:") + port});
        EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("Failed to connect to server (127.0.0.1): "
                                                    "invalid port \"%1\"")
                                         .arg(port)))
            << run.err.toStdString();
    }
}
