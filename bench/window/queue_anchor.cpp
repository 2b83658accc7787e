// The anchor of the window benchmark: the plainest Qt window over the same saved queues. It reads both
// snapshot files of the data folder it is given, keeps one line of text per item (the person, the summary,
// the reason and the tags: the fields the real program searches), and shows them in a QListView over a
// QSortFilterProxyModel that a search field filters, case-insensitively, with uniform item sizes as a Qt
// developer sets for a long list. No grouping, badges or detail.
// Usage: queue_anchor DATA-FOLDER
#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListView>
#include <QSortFilterProxyModel>
#include <QStringListModel>
#include <QVBoxLayout>
#include <QWidget>

namespace {

void readQueue(const QString& file, QStringList& texts) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        return;
    }
    const QJsonArray items = QJsonDocument::fromJson(in.readAll()).object().value(QLatin1String("items")).toArray();
    for (const QJsonValue& value : items) {
        const QJsonObject item = value.toObject();
        QStringList tags;
        for (const QJsonValue& tag : item.value(QLatin1String("tags")).toArray()) {
            tags << tag.toString();
        }
        texts << item.value(QLatin1String("person")).toString() + QStringLiteral(" \u2014 ") +
                     item.value(QLatin1String("summary")).toString() + QStringLiteral(" \u2014 ") +
                     item.value(QLatin1String("verdict")).toString() + ' ' + tags.join(' ');
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2) {
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QStringList texts;
    readQueue(folder + QStringLiteral("/messages-snapshot.json"), texts);
    readQueue(folder + QStringLiteral("/gmail-snapshot.json"), texts);

    QStringListModel source(texts);
    texts.clear();
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&source);
    proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);

    QWidget window;
    window.setObjectName(QStringLiteral("mainWindow"));
    auto* layout = new QVBoxLayout(&window);
    auto* search = new QLineEdit(&window);
    search->setObjectName(QStringLiteral("searchField"));
    search->setPlaceholderText(QStringLiteral("Search conversations"));
    auto* list = new QListView(&window);
    list->setObjectName(QStringLiteral("queueList"));
    list->setUniformItemSizes(true);
    list->setModel(&proxy);
    layout->addWidget(search);
    layout->addWidget(list, 1);
    QObject::connect(search, &QLineEdit::textChanged, &proxy, &QSortFilterProxyModel::setFilterFixedString);
    window.resize(1180, 760);
    window.show();
    return QApplication::exec();
}
