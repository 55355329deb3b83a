# The machine journal: the sales arithmetic and the CSV without a database,
# then the journal on disk with its faults.
quvo_add_test(tst_sales_history LIBS quvo_journal SOURCES journal/tst_sales_history.cpp)
quvo_add_test(tst_journal_csv LIBS quvo_journal SOURCES journal/tst_journal_csv.cpp)
quvo_add_test(tst_audit_file LIBS quvo_journal SOURCES journal/tst_audit_file.cpp)
quvo_add_test(tst_journal LIBS quvo_journal SOURCES journal/tst_journal.cpp)
