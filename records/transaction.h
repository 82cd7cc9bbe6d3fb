#ifndef TRANSACTION_H
#define TRANSACTION_H

class Database;

// Statements written between construction and commit() take effect together or not at all:
// a guard left without commit() rolls them back, so an early return or a failed statement
// cannot leave half of them in the file.
//
//     Transaction transaction(database);
//     if (doses.add(dose) && database.execQuery(countDischarge, arguments))
//         transaction.commit();
class Transaction
{
public:
    explicit Transaction(Database &database);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    // False when the transaction could not be opened (file locked past the time-out, no file).
    bool isOpen() const { return open; }
    // False when nothing was committed; everything since construction is then undone, and the
    // database's lastErrorMessage() says why.
    bool commit();
    void rollback();

private:
    Database &database;
    bool open = false;
};

#endif // TRANSACTION_H
