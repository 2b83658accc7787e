// Lays out a home folder of made-up Messages conversations, contacts and contacts access, chooses Basic
// Mode, leaves Gmail out and saves the queue of one Messages refresh, then prints the environment that
// points the program at it:
//
//   env $(nudgerly-demo-home /tmp/nudgerly-demo) build/default/bin/nudgerly
#include <exception>
#include <iostream>

#include "demo/DemoHome.h"
#include "demo/DemoQueue.h"
#include "platform/system/UserAccount.h"
#include "sources/messages/MessagesText.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "Usage: nudgerly-demo-home FOLDER\n"
                     "Makes FOLDER (new or empty) a home of made-up Messages data and prints the variables that "
                     "point the program at it.\n";
        return 2;
    }
    try {
        // Group members address the user by the name the program will know them by.
        std::string firstName = nudgerly::MessagesText::firstName(nudgerly::UserAccount::fullName());
        if (firstName.empty()) {
            firstName = "Alex";
        }
        const auto demo = nudgerly::test::layOutDemoHome(argv[1], firstName);
        std::cout << "HOME=" << demo.home.string() << "\n"
                  << "XDG_DATA_HOME=" << demo.dataHome.string() << "\n"
                  << "XDG_CONFIG_HOME=" << demo.configHome.string() << "\n";
        const std::size_t queued = nudgerly::test::saveDemoQueue(demo, firstName);
        std::cerr << demo.contents.chats << " conversations, " << demo.contents.messages << " messages, "
                  << demo.contents.contacts.size() << " contacts; " << queued << " in the queue.\n";
    } catch (const std::exception& error) {
        std::cerr << "The demo home could not be made: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
