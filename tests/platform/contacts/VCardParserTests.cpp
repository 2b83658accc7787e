#include <string>

#include <gtest/gtest.h>

#include "platform/contacts/VCardParser.h"

namespace nudgerly {
namespace {

std::vector<Contact> byteByByte(std::string_view cards) {
    VCardParser parser;
    for (const char byte : cards) {
        parser.feed(std::string_view(&byte, 1));
    }
    parser.finish();
    return parser.takeContacts();
}

TEST(VCardParserTests, ReadsThreePointZeroWithFoldingGroupsParametersAndEscapes) {
    const std::string card =
        "BEGIN:VCARD\r\n"
        "VERSION:3.0\r\n"
        "N:O\\'Brien-Lee;Ann\\, Marie;;Dr.;\r\n"
        "FN:Dr. Ann Marie O'Brien-Lee\r\n"
        "ORG:Acme\\; Sons;Sales\r\n"
        "item1.TEL;TYPE=\"cell,voice\";X-NOTE=\"a:b\":+1 (555)\r\n"
        "  010-0199\r\n"
        "item1.X-ABLabel:mobile\r\n"
        "EMAIL;type=INTERNET;type=pref: Ann@Example.com \r\n"
        "NOTE:line one\\nline two\r\n"
        "UID:6b1f-42\r\n"
        "END:VCARD\r\n";
    const auto result = VCardParser::parse(card);
    ASSERT_EQ(result.contacts.size(), 1u);
    EXPECT_EQ(result.skippedCards, 0u);
    const Contact& contact = result.contacts[0];
    EXPECT_EQ(contact.familyName, "O'Brien-Lee");
    EXPECT_EQ(contact.givenName, "Ann, Marie");
    EXPECT_EQ(contact.organizationName, "Acme; Sons");
    EXPECT_EQ(contact.contactType, ContactType::person);
    // A folded line loses the line break and exactly one blank.
    EXPECT_EQ(contact.phoneNumbers, (std::vector<std::string>{"+1 (555) 010-0199"}));
    EXPECT_EQ(contact.emailAddresses, (std::vector<std::string>{" Ann@Example.com "}));
    EXPECT_EQ(contact.identifier, "6b1f-42");
}

TEST(VCardParserTests, ReadsFourPointZeroOrganisationsAndTelephoneAddresses) {
    const std::string cards =
        "BEGIN:VCARD\nVERSION:4.0\nKIND:org\nFN:City Dental\nORG:City Dental\n"
        "TEL;VALUE=uri;TYPE=work:tel:+1-555-010-0100;ext=12\nUID:urn:uuid:11\nEND:VCARD\n"
        "BEGIN:VCARD\nVERSION:3.0\nN:;;;;\nFN:Pizza Place\nORG:Pizza Place\nX-ABSHOWAS:COMPANY\nEND:VCARD\n"
        // N empty and FN not the organisation: FN names the person.
        "begin:vcard\nversion:4.0\nfn:Sam Two\norg:Acme\nend:vcard\n"
        // An empty telephone or address line holds nothing.
        "BEGIN:VCARD\nVERSION:3.0\nN:Doe;Jo\nTEL:\nEMAIL:\nEND:VCARD";
    const auto result = VCardParser::parse(cards);
    ASSERT_EQ(result.contacts.size(), 4u);
    EXPECT_EQ(result.contacts[0].contactType, ContactType::organization);
    EXPECT_EQ(result.contacts[0].givenName, "");  // FN only repeats the organisation
    EXPECT_EQ(result.contacts[0].phoneNumbers, (std::vector<std::string>{"+1-555-010-0100"}));
    EXPECT_EQ(result.contacts[0].identifier, "urn:uuid:11");
    EXPECT_EQ(result.contacts[1].contactType, ContactType::organization);
    EXPECT_EQ(result.contacts[1].organizationName, "Pizza Place");
    EXPECT_EQ(result.contacts[2].givenName, "Sam Two");
    EXPECT_EQ(result.contacts[2].contactType, ContactType::person);
    EXPECT_TRUE(result.contacts[3].phoneNumbers.empty());
    EXPECT_TRUE(result.contacts[3].emailAddresses.empty());
}

TEST(VCardParserTests, PhoneExportsDecodeQuotedPrintableAndCharacterSets) {
    const std::string cards =
        // 2.1 from a phone: quoted-printable UTF-8 with a soft line break, bare types, CR CR LF line ends.
        "BEGIN:VCARD\r\r\nVERSION:2.1\r\r\n"
        "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=C3=91=C3=BA=C3=B1ez;Jos=C3=A9=\r\r\n"
        "=20Luis;;;\r\r\n"
        "TEL;HOME;VOICE:+34 600 000 001\r\r\nEMAIL;INTERNET:jose@example.es\r\r\nEND:VCARD\r\r\n"
        // 2.1 in a national character set, quoted-printable or raw; a trail byte that is a backslash.
        "BEGIN:VCARD\nVERSION:2.1\nN;ENCODING=QUOTED-PRINTABLE;CHARSET=ISO-8859-1:M=FCller;J=FCrgen\n"
        "ORG;CHARSET=SHIFT_JIS:\x83\x5c\x83\x6a\x81\x5b\nEND:VCARD\n"
        // 3.0 and 4.0 written the same way; a bare QUOTED-PRINTABLE names the encoding.
        "BEGIN:VCARD\nVERSION:3.0\nN;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:=E5=B1=B1=E7=94=B0;=E5=A4=AA=E9=83=8E;;;\n"
        "TEL;TYPE=CELL:555 0102\nEND:VCARD\n"
        "BEGIN:VCARD\nVERSION:4.0\nFN;QUOTED-PRINTABLE:Zo=C3=AB =\nKr=C3=BCger =3D=\n\nEND:VCARD\n"
        // A repeated N or ORG keeps the first.
        "BEGIN:VCARD\nVERSION:3.0\nN:First;One\nORG:First Org\nN:Second;Two\nORG:Second Org\nEND:VCARD\n";
    const auto result = VCardParser::parse(cards);
    ASSERT_EQ(result.contacts.size(), 5u);
    EXPECT_EQ(result.skippedCards, 0u);
    EXPECT_EQ(result.contacts[0].familyName, "\u00D1\u00FA\u00F1ez");
    EXPECT_EQ(result.contacts[0].givenName, "Jos\u00E9 Luis");
    EXPECT_EQ(result.contacts[0].phoneNumbers, (std::vector<std::string>{"+34 600 000 001"}));
    EXPECT_EQ(result.contacts[0].emailAddresses, (std::vector<std::string>{"jose@example.es"}));
    EXPECT_EQ(result.contacts[1].familyName, "M\u00FCller");
    EXPECT_EQ(result.contacts[1].givenName, "J\u00FCrgen");
    EXPECT_EQ(result.contacts[1].organizationName, "\u30BD\u30CB\u30FC");
    EXPECT_EQ(result.contacts[2].familyName, "\u5C71\u7530");
    EXPECT_EQ(result.contacts[2].givenName, "\u592A\u90CE");
    EXPECT_EQ(result.contacts[3].givenName, "Zo\u00EB Kr\u00FCger =");
    EXPECT_EQ(result.contacts[4].familyName, "First");
    EXPECT_EQ(result.contacts[4].givenName, "One");
    EXPECT_EQ(result.contacts[4].organizationName, "First Org");

    EXPECT_EQ(byteByByte(cards), result.contacts);
}

TEST(VCardParserTests, SkipsMalformedCardsAndOverlongLinesButKeepsTheRest) {
    const std::string photo(100 * 1024, 'A');
    const std::string cards =
        "stray text before any card\n"
        "BEGIN:VCARD\nN:Never;Ended\n"  // no END before the next BEGIN
        "BEGIN:VCARD\nN:Lee;Kim\nPHOTO;ENCODING=b:" +
        photo + "\n " + photo +
        "\nTEL:555 0101\nno colon here\nEND:VCARD\n"
        "END:VCARD\n"                       // an END with no card
        "BEGIN:VCARD\nN:Cut;Off\nTEL:1\n";  // the input ends inside a card
    const auto result = VCardParser::parse(cards);
    ASSERT_EQ(result.contacts.size(), 1u);
    EXPECT_EQ(result.skippedCards, 2u);
    EXPECT_EQ(result.contacts[0].givenName, "Kim");
    EXPECT_EQ(result.contacts[0].phoneNumbers, (std::vector<std::string>{"555 0101"}));
}

TEST(VCardParserTests, PiecesOfAnySizeReadTheSameAndTextBecomesValidUtf8) {
    const std::string cards =
        "BEGIN:VCARD\r\nN:Mu\xffller;J\xC3\xBCrgen\r\nTEL:+49 30\r\n 1234\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nFN:Zo\xC3\xAB\r\nEND:VCARD\r\n";
    const auto whole = VCardParser::parse(cards);
    ASSERT_EQ(whole.contacts.size(), 2u);
    EXPECT_EQ(whole.contacts[0].familyName, "Mu\uFFFDller");
    EXPECT_EQ(whole.contacts[0].givenName, "J\u00FCrgen");
    EXPECT_EQ(whole.contacts[1].givenName, "Zo\u00EB");

    EXPECT_EQ(byteByByte(cards), whole.contacts);
}

}  // namespace
}  // namespace nudgerly
