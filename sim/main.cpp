// tolmera-sim: a simulated Orvin instrument on a pseudo-terminal. Prints the
// terminal's path as its first line, then serves commands until told to quit.

#include "sim/MemoryImage.h"
#include "sim/SimFault.h"
#include "sim/SimHost.h"
#include "sim/SimModel.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int signalPipe[2] = { -1, -1 };

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

int fail(const QString &message)
{
    std::fprintf(stderr, "tolmera-sim: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tolmera-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated Orvin instrument served on a pseudo-terminal.\n"
        "Prints the terminal path on the first line of output, then reads control lines on stdin\n"
        "(fault KIND[:ARG] TARGET [N], clear-faults, silent on|off, send TEXT, poke ADDRESS VALUE,\n"
        "dump FILE, flood SECONDS, hangup, quit), answering each with \"ok\" or \"error: ...\".\n"
        "Faults: silent, extra[:TEXT], short[:N], long[:N], garble, highbit, late:MS, hangup;\n"
        "TARGET is * or the start of a command (T, V, R000047, R0002, W000208)."));
    parser.addHelpOption();
    const QCommandLineOption memoryOption(QStringLiteral("memory"),
        QStringLiteral("Memory image (.mem) to serve instead of the sample flight memory."),
        QStringLiteral("FILE"));
    const QCommandLineOption infoOption(QStringLiteral("info"), QStringLiteral("Answer to \"V\"."),
        QStringLiteral("TEXT"), QString::fromLatin1(SimModel::defaultInfo));
    const QCommandLineOption transcriptOption(QStringLiteral("transcript"),
        QStringLiteral("Log every chunk read and written to FILE."), QStringLiteral("FILE"));
    const QCommandLineOption linkOption(QStringLiteral("link"),
        QStringLiteral("Make PATH a symbolic link to the terminal."), QStringLiteral("PATH"));
    const QCommandLineOption faultOption(QStringLiteral("fault"),
        QStringLiteral("Fault \"KIND[:ARG] TARGET [N]\"; may be repeated."), QStringLiteral("FAULT"));
    const QCommandLineOption silentOption(QStringLiteral("silent"), QStringLiteral("Answer nothing at all."));
    const QCommandLineOption delayOption(QStringLiteral("answer-delay"),
        QStringLiteral("Milliseconds before each answer (default 1)."), QStringLiteral("MS"),
        QStringLiteral("1"));
    const QCommandLineOption sampleOption(QStringLiteral("write-sample"),
        QStringLiteral("Write the sample flight memory to FILE and exit."), QStringLiteral("FILE"));
    parser.addOptions({ memoryOption, infoOption, transcriptOption, linkOption, faultOption, silentOption,
        delayOption, sampleOption });
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().front()));

    QString error;
    if (parser.isSet(sampleOption)) {
        if (!MemoryImage::sample().save(parser.value(sampleOption), &error))
            return fail(error);
        return 0;
    }

    MemoryImage memory = MemoryImage::sample();
    if (parser.isSet(memoryOption) && !memory.load(parser.value(memoryOption), &error))
        return fail(error);
    SimModel model(memory);
    model.setInfo(parser.value(infoOption).toLatin1());
    model.setSilent(parser.isSet(silentOption));
    bool ok = false;
    const int delay = parser.value(delayOption).toInt(&ok);
    if (!ok || delay < 0)
        return fail(QStringLiteral("--answer-delay needs milliseconds"));
    model.setAnswerDelay(delay);
    for (const QString &faultText : parser.values(faultOption)) {
        const auto fault = SimFault::parse(faultText, &error);
        if (!fault)
            return fail(QStringLiteral("--fault \"%1\": %2").arg(faultText, error));
        model.addFault(*fault);
    }

    // A controller that goes away must not take the simulator with it.
    std::signal(SIGPIPE, SIG_IGN);

    SimHost host(model);
    if (!host.open(&error))
        return fail(error);
    if (parser.isSet(transcriptOption) && !host.setTranscript(parser.value(transcriptOption), &error))
        return fail(error);
    if (parser.isSet(linkOption) && !host.setLink(parser.value(linkOption), &error))
        return fail(error);

    if (::pipe(signalPipe) != 0)
        return fail(QStringLiteral("cannot create the signal pipe"));
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &host, &SimHost::quit);
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    QObject::connect(&host, &SimHost::finished, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    std::printf("%s\n", qPrintable(host.slavePath()));
    std::fflush(stdout);
    host.listenForControl(STDIN_FILENO);
    return app.exec();
}
